// Helpers shared by the engine's unit tests.
#pragma once

#include <gtest/gtest.h>
#include <jinja/jinja.hpp>

#include <expected>
#include <ostream>
#include <string>
#include <string_view>

namespace jinja::testing {

inline Value str(std::string s) { return Value::from_string(std::move(s)); }
inline Value num(std::int64_t i) { return Value::from_int(i); }

// The context most tables use: one value of each kind.
inline Value fixture() {
  return Value::from_map({
      {"name", str("Ada")},
      {"n", num(3)},
      {"f", Value::from_float(2.5)},
      {"flag", Value::from_bool(true)},
      {"nothing", Value::none()},
      {"items", Value::from_seq({num(1), num(2), num(3)})},
      {"words", Value::from_seq({str("b"), str("a"), str("c")})},
      {"user", Value::from_map({{"name", str("Bob")}, {"id", num(7)}})},
      {"html", str("<b>&</b>")},
      {"empty", Value::from_seq({})},
      {"big", Value::from_uint(18446744073709551615ull)},
      {"tree", Value::from_seq({num(1), Value::from_seq({num(2), Value::from_seq({num(3)})})})},
  });
}

// Compiles under the name "t" and renders; a compile error comes back as the render's error.
inline std::expected<std::string, Error> run(std::string_view source, Value context = fixture()) {
  Environment env;
  if (auto r = env.add_template("t", std::string(source)); !r) return std::unexpected(r.error());
  auto tpl = env.get_template("t");
  if (!tpl) return std::unexpected(tpl.error());
  return (*tpl)->render(std::move(context));
}

// "ok:OUTPUT" or "err:FULL TEXT", so one table column can hold either outcome.
inline std::string outcome(std::string_view source, Value context = fixture()) {
  auto r = run(source, std::move(context));
  return r ? "ok:" + *r : "err:" + r.error().full_text();
}

// A table row for outcome(): the source names the case when a row fails.
struct OutcomeCase {
  std::string_view source;
  std::string_view expected;  // "ok:..." or "err:..."
  friend std::ostream& operator<<(std::ostream& os, const OutcomeCase& c) {
    return os << c.source;
  }
};

}  // namespace jinja::testing

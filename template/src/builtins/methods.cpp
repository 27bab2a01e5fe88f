// The Python methods templates may call on strings, maps and sequences.
#include <utility>

#include "builtins/support.hpp"
#include "objects.hpp"

namespace jinja {

namespace {

using builtins::pass;
using builtins::Result;

std::unexpected<Error> bad(std::string detail) {
  return fail(ErrorKind::InvalidOperation, std::move(detail));
}

template <std::string (*Change)(std::string_view)>
Result change_case(State&, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  return builtins::keep_safe(self, Change(self.as_string()));
}

template <bool Left, bool Right>
Result strip(State&, const Value& self, Args& args) {
  Value chars = args.get(0, "chars");
  if (auto d = args.done(); !d) return pass(d.error());
  if (chars.is_undefined() || chars.kind() == Value::Kind::None) {
    return Value::from_string(std::string(builtins::strip_text(self.as_string(), nullptr, Left, Right)));
  }
  if (chars.kind() != Value::Kind::String) return bad("strip characters must be a string");
  std::string_view set = chars.as_string();
  return Value::from_string(std::string(builtins::strip_text(self.as_string(), &set, Left, Right)));
}

Result split(State&, const Value& self, Args& args) {
  Value sep = args.get(0, "sep");
  Value max = args.get(1, "maxsplit");
  if (auto d = args.done(); !d) return pass(d.error());
  std::int64_t n = -1;
  if (!max.is_undefined() && max.kind() != Value::Kind::None) {
    auto m = builtins::int_arg(max, "maxsplit");
    if (!m) return pass(m.error());
    n = *m;
  }
  if (sep.is_undefined() || sep.kind() == Value::Kind::None) {
    return Value::from_seq(builtins::split_text(self.as_string(), nullptr, n));
  }
  if (sep.kind() != Value::Kind::String) return bad("the separator must be a string");
  std::string_view s = sep.as_string();
  return Value::from_seq(builtins::split_text(self.as_string(), &s, n));
}

template <bool Start>
Result affix(State&, const Value& self, Args& args) {
  auto affix = args.require(0, Start ? "prefix" : "suffix");
  if (!affix) return affix;
  if (auto d = args.done(); !d) return pass(d.error());
  std::string_view s = self.as_string();
  auto matches = [&](const Value& a) {
    return Start ? s.starts_with(a.as_string()) : s.ends_with(a.as_string());
  };
  if (affix->kind() == Value::Kind::String) return Value::from_bool(matches(*affix));
  if (affix->kind() == Value::Kind::Seq) {
    bool any = false;
    for (const Value& a : affix->as_seq()) {
      if (a.kind() != Value::Kind::String) return bad("the tuple must hold only strings");
      any = any || matches(a);
    }
    return Value::from_bool(any);
  }
  return bad(std::string(Start ? "startswith" : "endswith") +
             " needs a string or a tuple of strings");
}

Result replace(State& state, const Value& self, Args& args) {
  auto from = args.require(0, "old");
  if (!from) return from;
  auto to = args.require(1, "new");
  if (!to) return to;
  Value count = args.get(2, "count");
  if (auto d = args.done(); !d) return pass(d.error());
  if (from->kind() != Value::Kind::String || to->kind() != Value::Kind::String) {
    return bad("replace needs strings");
  }
  std::int64_t n = -1;
  if (!count.is_undefined() && count.kind() != Value::Kind::None) {
    auto c = builtins::int_arg(count, "count");
    if (!c) return pass(c.error());
    n = *c;
  }
  auto out = builtins::replace_text(state, self.as_string(), from->as_string(), to->as_string(), n);
  if (!out) return pass(out.error());
  return Value::from_string(std::move(*out));
}

Result format(State& state, const Value& self, Args& args) {
  auto positional = args.rest(0);
  auto keywords = args.keywords();
  return builtins::python_format(state, self.as_string(), positional, keywords);
}

const Value::Entries& entries(const Value& map) { return map.as_map(); }

Result items(State&, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  std::vector<Value> out;
  out.reserve(entries(self).size());
  for (const auto& [k, v] : entries(self)) out.push_back(make_tuple({k, v}));
  return Value::from_seq(std::move(out));
}

template <bool Keys>
Result keys_or_values(State&, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  std::vector<Value> out;
  out.reserve(entries(self).size());
  for (const auto& [k, v] : entries(self)) out.push_back(Keys ? k : v);
  return Value::from_seq(std::move(out));
}

Result get(State&, const Value& self, Args& args) {
  auto key = args.require(0, "key");
  if (!key) return key;
  Value fallback = args.get(1, "default");
  if (auto d = args.done(); !d) return pass(d.error());
  Value found = map_get(self, *key);
  if (!found.is_undefined()) return found;
  return fallback.is_undefined() ? Value::none() : fallback;
}

Result index(State&, const Value& self, Args& args) {
  auto needle = args.require(0, "value");
  if (!needle) return needle;
  if (auto d = args.done(); !d) return pass(d.error());
  const auto& items = self.as_seq();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (values_equal(items[i], *needle)) return Value::from_int(static_cast<std::int64_t>(i));
  }
  return bad("value is not in the list");
}

Result count(State&, const Value& self, Args& args) {
  auto needle = args.require(0, "value");
  if (!needle) return needle;
  if (auto d = args.done(); !d) return pass(d.error());
  std::int64_t n = 0;
  for (const Value& item : self.as_seq()) n += values_equal(item, *needle);
  return Value::from_int(n);
}

}  // namespace

void register_methods(Registry& registry) {
  using R = MethodReceiver;
  registry.add_method(R::String, "upper", change_case<builtins::upper_text>);
  registry.add_method(R::String, "lower", change_case<builtins::lower_text>);
  registry.add_method(R::String, "title", change_case<builtins::title_text>);
  registry.add_method(R::String, "capitalize", change_case<builtins::capitalize_text>);
  registry.add_method(R::String, "strip", strip<true, true>);
  registry.add_method(R::String, "lstrip", strip<true, false>);
  registry.add_method(R::String, "rstrip", strip<false, true>);
  registry.add_method(R::String, "split", split);
  registry.add_method(R::String, "startswith", affix<true>);
  registry.add_method(R::String, "endswith", affix<false>);
  registry.add_method(R::String, "replace", replace);
  registry.add_method(R::String, "format", format);
  registry.add_method(R::Map, "items", items);
  registry.add_method(R::Map, "keys", keys_or_values<true>);
  registry.add_method(R::Map, "values", keys_or_values<false>);
  registry.add_method(R::Map, "get", get);
  registry.add_method(R::Seq, "index", index);
  registry.add_method(R::Seq, "count", count);
}

}  // namespace jinja

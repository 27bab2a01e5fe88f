// The builtins the evaluator and most templates rely on. Fuller versions registered later
// by the filter, test and method groups replace these.
#include <utf8proc.h>

#include "builtins/registry.hpp"
#include "objects.hpp"

namespace jinja {

namespace {

using Result = std::expected<Value, Error>;

Result default_filter(State&, const Value& self, Args& args) {
  Value fallback = args.get(0, "default_value");
  Value boolean = args.get(1, "boolean");
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  if (fallback.is_undefined()) fallback = Value::from_string({});
  if (self.is_undefined() || (is_truthy(boolean) && !is_truthy(self))) return fallback;
  return self;
}

Result safe(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  if (auto r = state.require_defined(self); !r) return std::unexpected(r.error());
  if (self.is_safe()) return self;
  return Value::from_string(to_output_string(self), true);
}

Result escape(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  if (auto r = state.require_defined(self); !r) return std::unexpected(r.error());
  if (self.is_safe()) return self;
  std::string out;
  if (self.kind() == Value::Kind::String) {
    append_html_escaped(out, self.as_string());
  } else {
    append_html_escaped(out, to_output_string(self));
  }
  return Value::from_string(std::move(out), true);
}

Result string(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  if (auto r = state.require_defined(self); !r) return std::unexpected(r.error());
  if (self.kind() == Value::Kind::String) return self;
  return Value::from_string(to_output_string(self));
}

Result length(State&, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  switch (self.kind()) {
    case Value::Kind::Undefined: return Value::from_int(0);
    case Value::Kind::String:
      return Value::from_int(static_cast<std::int64_t>(utf8_length(self.as_string())));
    case Value::Kind::Seq: return Value::from_int(static_cast<std::int64_t>(self.as_seq().size()));
    case Value::Kind::Map: return Value::from_int(static_cast<std::int64_t>(self.as_map().size()));
    case Value::Kind::Object:
      if (const auto* e = as_object(self)->entries()) {
        return Value::from_int(static_cast<std::int64_t>(e->size()));
      }
      [[fallthrough]];
    default:
      return fail(ErrorKind::InvalidOperation,
                  "cannot calculate length of value of type " + std::string(kind_name(self)));
  }
}

template <utf8proc_int32_t (*Map)(utf8proc_int32_t)>
Result change_case(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  if (auto r = state.require_defined(self); !r) return std::unexpected(r.error());
  std::string text = to_output_string(self);
  std::string out;
  out.reserve(text.size());
  auto bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  auto n = static_cast<utf8proc_ssize_t>(text.size());
  for (utf8proc_ssize_t i = 0; i < n;) {
    utf8proc_int32_t cp;
    utf8proc_ssize_t len = utf8proc_iterate(bytes + i, n - i, &cp);
    if (len <= 0) {
      out.push_back(text[static_cast<std::size_t>(i)]);
      ++i;
      continue;
    }
    utf8proc_uint8_t buf[4];
    utf8proc_ssize_t w = utf8proc_encode_char(Map(cp), buf);
    out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(w));
    i += len;
  }
  return Value::from_string(std::move(out));
}

Result join(State& state, const Value& self, Args& args) {
  Value sep = args.get(0, "d");
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  auto items = state.iterate(self);
  if (!items) return std::unexpected(items.error());
  std::string separator = sep.is_undefined() ? std::string() : to_output_string(sep);
  std::string out;
  bool first = true;
  for (const Value& item : *items) {
    if (!first) out += separator;
    first = false;
    append_output(out, item);
    if (auto r = state.check_string_size(out.size()); !r) return std::unexpected(r.error());
  }
  return Value::from_string(std::move(out));
}

Result list(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  auto items = state.iterate(self);
  if (!items) return std::unexpected(items.error());
  return Value::from_seq(std::move(*items));
}

std::expected<bool, Error> defined(State&, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  return !self.is_undefined();
}

std::expected<bool, Error> undefined(State&, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  return self.is_undefined();
}

std::expected<bool, Error> none(State&, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  return self.kind() == Value::Kind::None;
}

}  // namespace

void register_core(Registry& registry) {
  registry.add_filter("default", default_filter);
  registry.add_filter("d", default_filter);
  registry.add_filter("safe", safe);
  registry.add_filter("escape", escape);
  registry.add_filter("e", escape);
  registry.add_filter("string", string);
  registry.add_filter("length", length);
  registry.add_filter("count", length);
  registry.add_filter("upper", change_case<utf8proc_toupper>);
  registry.add_filter("lower", change_case<utf8proc_tolower>);
  registry.add_filter("join", join);
  registry.add_filter("list", list);
  registry.add_test("defined", defined);
  registry.add_test("undefined", undefined);
  registry.add_test("none", none);
}

}  // namespace jinja

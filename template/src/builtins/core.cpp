// The builtins that belong to no filter, test or method group: safe, escape, string and the
// defined/undefined tests. Everything else lives once, in its group.
#include "builtins/registry.hpp"
#include "objects.hpp"

namespace jinja {

namespace {

using Result = std::expected<Value, Error>;

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

std::expected<bool, Error> defined(State&, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  return !self.is_undefined();
}

std::expected<bool, Error> undefined(State&, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  return self.is_undefined();
}

}  // namespace

void register_core(Registry& registry) {
  registry.add_filter("safe", safe);
  registry.add_filter("escape", escape);
  registry.add_filter("e", escape);
  registry.add_filter("string", string);
  registry.add_test("defined", defined);
  registry.add_test("undefined", undefined);
}

}  // namespace jinja

// The tests (`x is name`). Most answer false for an undefined value instead of failing, so
// that `x is number` and the like can guard a template.
#include <utf8proc.h>

#include <cmath>

#include "builtins/support.hpp"
#include "objects.hpp"

namespace jinja {

namespace {

using builtins::Check;
using builtins::pass;

template <bool (*Pred)(const Value&)>
Check unary(State&, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  return Pred(self);
}

bool is_bool(const Value& v) { return v.kind() == Value::Kind::Bool; }
bool is_none(const Value& v) { return v.kind() == Value::Kind::None; }
bool is_true(const Value& v) { return is_bool(v) && v.as_bool(); }
bool is_false(const Value& v) { return is_bool(v) && !v.as_bool(); }
bool is_safe(const Value& v) { return v.is_safe(); }
bool is_string(const Value& v) { return v.kind() == Value::Kind::String; }
bool is_int(const Value& v) { return is_integer(v); }
bool is_float(const Value& v) { return v.kind() == Value::Kind::Float; }
bool is_numeric(const Value& v) { return is_number(v) || is_bool(v); }
bool is_mapping(const Value& v) {
  if (v.kind() == Value::Kind::Map) return true;
  const Object* o = as_object(v);
  return o && (o->entries() || o->type_name() == "loop");
}

// Parity of an integral number; non-integral values have none.
template <int Remainder>
bool parity(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Bool: return (v.as_bool() ? 1 : 0) == Remainder;
    case Value::Kind::Int: return static_cast<int>(v.as_int() & 1) == Remainder;
    case Value::Kind::UInt: return static_cast<int>(v.as_uint() & 1) == Remainder;
    case Value::Kind::Float: {
      double d = v.as_float();
      return std::isfinite(d) && std::trunc(d) == d && std::fabs(std::fmod(d, 2.0)) == Remainder;
    }
    default: return false;
  }
}

// Python's str.islower / str.isupper: some cased character, and none of the other case.
template <bool Lower>
bool cased(const Value& v) {
  if (!is_string(v)) return false;
  std::string_view s = v.as_string();
  bool any = false;
  for (std::size_t i = 0; i < s.size();) {
    utf8proc_int32_t cp;
    auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + i),
                              static_cast<utf8proc_ssize_t>(s.size() - i), &cp);
    if (n <= 0) {
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(n);
    auto cat = utf8proc_category(cp);
    if (cat == UTF8PROC_CATEGORY_LT) return false;
    if (cat == UTF8PROC_CATEGORY_LL) {
      if (!Lower) return false;
      any = true;
    } else if (cat == UTF8PROC_CATEGORY_LU) {
      if (Lower) return false;
      any = true;
    }
  }
  return any;
}

Check sequence(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  return self.kind() == Value::Kind::Seq;
}

Check iterable(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  switch (self.kind()) {
    case Value::Kind::None:
    case Value::Kind::String:
    case Value::Kind::Seq:
    case Value::Kind::Map: return true;
    default: return is_mapping(self);
  }
}

Check divisibleby(State&, const Value& self, Args& args) {
  auto num = args.require(0, "num");
  if (!num) return pass(num.error());
  if (auto d = args.done(); !d) return pass(d.error());
  if (!is_numeric(self) || !is_numeric(*num)) return false;
  if (!is_float(self) && !is_float(*num)) {
    __extension__ typedef __int128 Int128;
    auto wide = [](const Value& v) -> Int128 {
      return v.kind() == Value::Kind::UInt ? Int128(v.as_uint())
             : is_bool(v)                  ? Int128(v.as_bool() ? 1 : 0)
                                           : Int128(v.as_int());
    };
    Int128 b = wide(*num);
    if (b == 0) return fail(ErrorKind::InvalidOperation, "cannot divide by zero");
    return wide(self) % b == 0;
  }
  double b = to_double(*num);
  if (b == 0) return fail(ErrorKind::InvalidOperation, "cannot divide by zero");
  return std::fmod(to_double(self), b) == 0;
}

template <bool Start>
Check affix(State& state, const Value& self, Args& args) {
  auto affix = args.require(0, Start ? "prefix" : "suffix");
  if (!affix) return pass(affix.error());
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  if (auto r = state.require_defined(*affix); !r) return pass(r.error());
  if (!is_string(*affix)) return false;
  std::string text = to_output_string(self);
  std::string_view a = affix->as_string();
  return Start ? std::string_view(text).starts_with(a) : std::string_view(text).ends_with(a);
}

Check sameas(State&, const Value& self, Args& args) {
  auto other = args.require(0, "other");
  if (!other) return pass(other.error());
  if (auto d = args.done(); !d) return pass(d.error());
  const Value& b = *other;
  if (self.kind() != b.kind()) return false;
  switch (self.kind()) {
    case Value::Kind::Seq: return &self.as_seq() == &b.as_seq();
    case Value::Kind::Map: return &self.as_map() == &b.as_map();
    case Value::Kind::Object: return as_object(self) == as_object(b);
    case Value::Kind::Undefined: return true;
    default: return values_equal(self, b);
  }
}

enum class Cmp { Eq, Ne, Lt, Le, Gt, Ge };

template <Cmp C>
Check compare(State&, const Value& self, Args& args) {
  auto other = args.require(0, "other");
  if (!other) return pass(other.error());
  if (auto d = args.done(); !d) return pass(d.error());
  if (C == Cmp::Eq) return values_equal(self, *other);
  if (C == Cmp::Ne) return !values_equal(self, *other);
  auto c = compare_values(self, *other);
  switch (C) {
    case Cmp::Lt: return c < 0;
    case Cmp::Le: return c <= 0;
    case Cmp::Gt: return c > 0;
    default: return c >= 0;
  }
}

Check in(State& state, const Value& self, Args& args) {
  auto seq = args.require(0, "seq");
  if (!seq) return pass(seq.error());
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(*seq); !r) return pass(r.error());
  if (self.is_undefined()) return false;
  switch (seq->kind()) {
    case Value::Kind::String:
      return is_string(self) && seq->as_string().find(self.as_string()) != std::string_view::npos;
    case Value::Kind::Seq:
      for (const Value& v : seq->as_seq()) {
        if (values_equal(v, self)) return true;
      }
      return false;
    default: return is_mapping(*seq) && !map_get(*seq, self).is_undefined();
  }
}

template <bool Filter>
Check known(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  if (!is_string(self)) {
    return fail(ErrorKind::InvalidOperation, "the name to look up must be a string");
  }
  return Filter ? state.has_filter(self.as_string())
                : state.registry().test(self.as_string()) != nullptr;
}

}  // namespace

void register_tests(Registry& registry) {
  registry.add_test("boolean", unary<is_bool>);
  registry.add_test("none", unary<is_none>);
  registry.add_test("true", unary<is_true>);
  registry.add_test("false", unary<is_false>);
  registry.add_test("safe", unary<is_safe>);
  registry.add_test("escaped", unary<is_safe>);
  registry.add_test("string", unary<is_string>);
  registry.add_test("number", unary<is_numeric>);
  registry.add_test("integer", unary<is_int>);
  registry.add_test("int", unary<is_int>);
  registry.add_test("float", unary<is_float>);
  registry.add_test("mapping", unary<is_mapping>);
  registry.add_test("odd", unary<parity<1>>);
  registry.add_test("even", unary<parity<0>>);
  registry.add_test("lower", unary<cased<true>>);
  registry.add_test("upper", unary<cased<false>>);
  registry.add_test("sequence", sequence);
  registry.add_test("iterable", iterable);
  registry.add_test("divisibleby", divisibleby);
  registry.add_test("startingwith", affix<true>);
  registry.add_test("endingwith", affix<false>);
  registry.add_test("sameas", sameas);
  for (auto name : {"eq", "equalto", "=="}) registry.add_test(name, compare<Cmp::Eq>);
  for (auto name : {"ne", "!="}) registry.add_test(name, compare<Cmp::Ne>);
  for (auto name : {"lt", "lessthan", "<"}) registry.add_test(name, compare<Cmp::Lt>);
  for (auto name : {"le", "<="}) registry.add_test(name, compare<Cmp::Le>);
  for (auto name : {"gt", "greaterthan", ">"}) registry.add_test(name, compare<Cmp::Gt>);
  for (auto name : {"ge", ">="}) registry.add_test(name, compare<Cmp::Ge>);
  registry.add_test("in", in);
  registry.add_test("filter", known<true>);
  registry.add_test("test", known<false>);
}

}  // namespace jinja

// Numeric filters and conversions: round, abs, int, float, bool.
#include <charconv>
#include <cmath>
#include <limits>

#include "builtins/support.hpp"

namespace jinja::builtins {

namespace {

std::unexpected<Error> bad(std::string detail) {
  return fail(ErrorKind::InvalidOperation, std::move(detail));
}

// Python's round(): to nearest, ties to even, decided on the exact binary value.
double round_common(double d, std::int64_t digits) {
  if (!std::isfinite(d)) return d;
  if (digits < 0) {
    if (digits < -308) return 0.0 * d;
    double scale = std::pow(10.0, static_cast<double>(-digits));
    return std::nearbyint(d / scale) * scale;
  }
  if (digits > 17) return d;
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed,
                         static_cast<int>(digits));
  if (r.ec != std::errc()) return d;
  double out = d;
  std::from_chars(buf, r.ptr, out);
  return out;
}

Result round(State& state, const Value& self, Args& args) {
  Value precision = args.get(0, "precision");
  Value method = args.get(1, "method");
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  std::int64_t digits = 0;
  if (!precision.is_undefined() && precision.kind() != Value::Kind::None) {
    auto p = int_arg(precision, "precision");
    if (!p) return pass(p.error());
    digits = *p;
  }
  std::string_view how = "common";
  if (!method.is_undefined() && method.kind() != Value::Kind::None) {
    if (method.kind() != Value::Kind::String) return bad("method must be common, ceil or floor");
    how = method.as_string();
  }
  if (how != "common" && how != "ceil" && how != "floor") {
    return bad("method must be common, ceil or floor");
  }
  if (is_integer(self)) {
    if (digits >= 0) return self;
    if (self.kind() == Value::Kind::UInt || digits < -18) {
      return Value::from_float(round_common(to_double(self), digits));
    }
    // Round to a multiple of 10^-digits, ties to even, staying an integer.
    std::int64_t scale = 1;
    for (std::int64_t i = 0; i < -digits; ++i) scale *= 10;
    std::int64_t v = self.as_int();
    std::int64_t q = v / scale, rem = v % scale;
    if (rem < 0) rem += scale, --q;
    std::int64_t twice = 2 * rem;
    if (how == "ceil" ? rem != 0 : how == "floor" ? false : (twice > scale || (twice == scale && (q & 1)))) ++q;
    __extension__ __int128 out = static_cast<__int128>(q) * scale;
    if (out > std::numeric_limits<std::int64_t>::max() || out < std::numeric_limits<std::int64_t>::min()) {
      return bad("integer overflow");
    }
    return Value::from_int(static_cast<std::int64_t>(out));
  }
  if (self.kind() != Value::Kind::Float) {
    return bad("cannot round a value of type " + std::string(kind_name(self)));
  }
  double d = self.as_float();
  if (how == "common") return Value::from_float(round_common(d, digits));
  if (digits > 308 || !std::isfinite(d)) return self;
  double scale = std::pow(10.0, static_cast<double>(digits));
  double scaled = how == "ceil" ? std::ceil(d * scale) : std::floor(d * scale);
  return Value::from_float(scaled / scale);
}

Result abs(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  switch (self.kind()) {
    case Value::Kind::Int: {
      std::int64_t i = self.as_int();
      if (i >= 0) return self;
      return Value::from_uint(static_cast<std::uint64_t>(0) - static_cast<std::uint64_t>(i));
    }
    case Value::Kind::UInt: return self;
    case Value::Kind::Float: return Value::from_float(std::fabs(self.as_float()));
    default: return bad("cannot get the absolute value of a " + std::string(kind_name(self)));
  }
}

std::expected<Value, Error> float_to_int(double d) {
  d = std::trunc(d);
  if (!std::isfinite(d)) return bad("cannot convert an infinite or NaN float to an integer");
  if (d >= -9223372036854775808.0 && d < 9223372036854775808.0) {
    return Value::from_int(static_cast<std::int64_t>(d));
  }
  if (d >= 0 && d < 18446744073709551616.0) return Value::from_uint(static_cast<std::uint64_t>(d));
  return bad("integer is out of range");
}

// Parses a float the way Python's float() does, apart from surrounding white space.
bool parse_float(std::string_view s, double& out) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::expected<Value, Error> parse_int(std::string_view s, int base) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.size() > 2 && s[0] == '0') {
    char p = static_cast<char>(s[1] | 0x20);
    if ((p == 'x' && base == 16) || (p == 'o' && base == 8) || (p == 'b' && base == 2)) {
      s.remove_prefix(2);
    }
  }
  std::uint64_t u = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), u, base);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) {
    return std::unexpected(make_error(ErrorKind::InvalidOperation));
  }
  if (!negative) return Value::from_uint(u);
  if (u > static_cast<std::uint64_t>(INT64_MAX) + 1) return bad("integer is out of range");
  return Value::from_int(static_cast<std::int64_t>(0 - u));
}

Result to_int(State& state, const Value& self, Args& args) {
  Value fallback = args.get(0, "default");
  Value base_arg = args.get(1, "base");
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  int base = 10;
  if (!base_arg.is_undefined() && base_arg.kind() != Value::Kind::None) {
    auto b = int_arg(base_arg, "base");
    if (!b) return pass(b.error());
    if (*b < 2 || *b > 36) return bad("base must be between 2 and 36");
    base = static_cast<int>(*b);
  }
  auto failed = [&](std::string detail) -> Result {
    if (!fallback.is_undefined()) return fallback;
    return bad(std::move(detail));
  };
  switch (self.kind()) {
    case Value::Kind::Int:
    case Value::Kind::UInt: return self;
    case Value::Kind::Bool: return Value::from_int(self.as_bool() ? 1 : 0);
    case Value::Kind::None: return fallback.is_undefined() ? Value::from_int(0) : fallback;
    case Value::Kind::Float: return float_to_int(self.as_float());
    case Value::Kind::String: {
      std::string_view s = self.as_string();
      if (auto i = parse_int(s, base); i) return i;
      else if (i.error().detail) return i;
      double d;
      if (base == 10 && parse_float(s, d)) {
        auto i = float_to_int(d);
        return i ? i : failed(*i.error().detail);
      }
      return failed("cannot convert the string to an integer");
    }
    default: return failed("cannot convert " + std::string(kind_name(self)) + " to an integer");
  }
}

Result to_float(State& state, const Value& self, Args& args) {
  Value fallback = args.get(0, "default");
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  switch (self.kind()) {
    case Value::Kind::Float: return self;
    case Value::Kind::Int:
    case Value::Kind::UInt:
    case Value::Kind::Bool: return Value::from_float(to_double(self));
    case Value::Kind::None: return fallback.is_undefined() ? Value::from_float(0.0) : fallback;
    case Value::Kind::String: {
      double d;
      if (parse_float(self.as_string(), d)) return Value::from_float(d);
      if (!fallback.is_undefined()) return fallback;
      return bad("cannot convert the string to a float");
    }
    default:
      if (!fallback.is_undefined()) return fallback;
      return bad("cannot convert " + std::string(kind_name(self)) + " to a float");
  }
}

Result to_bool(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  auto t = state.truthy(self);
  if (!t) return pass(t.error());
  return Value::from_bool(*t);
}

}  // namespace

void register_number_filters(Registry& registry) {
  registry.add_filter("round", round);
  registry.add_filter("abs", abs);
  registry.add_filter("int", to_int);
  registry.add_filter("float", to_float);
  registry.add_filter("bool", to_bool);
}

}  // namespace jinja::builtins

#include "ops.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "error_util.hpp"
#include "limits.hpp"
#include "state.hpp"

namespace jinja {

namespace {

__extension__ typedef __int128 Int128;

bool as_integer(const Value& v, Int128& out) {
  switch (v.kind()) {
    case Value::Kind::Bool: out = v.as_bool() ? 1 : 0; return true;
    case Value::Kind::Int: out = v.as_int(); return true;
    case Value::Kind::UInt: out = v.as_uint(); return true;
    default: return false;
  }
}

bool numeric(const Value& v) { return is_number(v) || v.kind() == Value::Kind::Bool; }

std::string_view symbol(Op op) {
  switch (op) {
    case Op::Add: return "+";
    case Op::Sub: return "-";
    case Op::Mul: return "*";
    case Op::Div: return "/";
    case Op::FloorDiv: return "//";
    case Op::Mod: return "%";
    case Op::Pow: return "**";
    default: return "?";
  }
}

std::unexpected<Error> unsupported(Op op, const Value& a, const Value& b) {
  return fail(ErrorKind::InvalidOperation, "tried to use " + std::string(symbol(op)) +
                                               " operator on unsupported types " +
                                               std::string(kind_name(a)) + " and " +
                                               std::string(kind_name(b)));
}

std::expected<Value, Error> from_wide(Int128 r) {
  if (r >= INT64_MIN && r <= INT64_MAX) return Value::from_int(static_cast<std::int64_t>(r));
  if (r > 0 && r <= static_cast<Int128>(UINT64_MAX)) {
    return Value::from_uint(static_cast<std::uint64_t>(r));
  }
  return fail(ErrorKind::InvalidOperation, "integer overflow");
}

Int128 floor_div(Int128 a, Int128 b) {
  Int128 q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

std::expected<Value, Error> arithmetic(Op op, const Value& a, const Value& b) {
  Int128 x, y;
  if (as_integer(a, x) && as_integer(b, y)) {
    switch (op) {
      case Op::Add: return from_wide(x + y);
      case Op::Sub: return from_wide(x - y);
      case Op::Mul: {
        Int128 product;
        if (__builtin_mul_overflow(x, y, &product)) {
          return fail(ErrorKind::InvalidOperation, "integer overflow");
        }
        return from_wide(product);
      }
      case Op::Div:
        if (y == 0) return fail(ErrorKind::InvalidOperation, "division by zero");
        return Value::from_float(static_cast<double>(x) / static_cast<double>(y));
      case Op::FloorDiv:
        if (y == 0) return fail(ErrorKind::InvalidOperation, "division by zero");
        return from_wide(floor_div(x, y));
      case Op::Mod:
        if (y == 0) return fail(ErrorKind::InvalidOperation, "division by zero");
        return from_wide(x - floor_div(x, y) * y);
      case Op::Pow: {
        if (y < 0) return Value::from_float(std::pow(static_cast<double>(x), static_cast<double>(y)));
        Int128 result = 1;
        for (Int128 i = 0; i < y; ++i) {
          if (__builtin_mul_overflow(result, x, &result) ||
              result > static_cast<Int128>(UINT64_MAX) || result < INT64_MIN) {
            return fail(ErrorKind::InvalidOperation, "integer overflow");
          }
          if (result == 0 || result == 1) break;
        }
        if (result == 1 && x == -1 && y % 2 == 1) result = -1;
        return from_wide(result);
      }
      default: break;
    }
  }
  double p = to_double(a), q = to_double(b);
  switch (op) {
    case Op::Add: return Value::from_float(p + q);
    case Op::Sub: return Value::from_float(p - q);
    case Op::Mul: return Value::from_float(p * q);
    case Op::Div:
      if (q == 0) return fail(ErrorKind::InvalidOperation, "division by zero");
      return Value::from_float(p / q);
    case Op::FloorDiv:
      if (q == 0) return fail(ErrorKind::InvalidOperation, "division by zero");
      return Value::from_float(std::floor(p / q));
    case Op::Mod: {
      if (q == 0) return fail(ErrorKind::InvalidOperation, "division by zero");
      double r = std::fmod(p, q);
      if (r != 0 && ((r < 0) != (q < 0))) r += q;
      return Value::from_float(r);
    }
    case Op::Pow: return Value::from_float(std::pow(p, q));
    default: return unsupported(op, a, b);
  }
}

std::expected<Value, Error> repeat(const Value& item, const Value& count, const State& state) {
  Int128 n;
  if (count.kind() == Value::Kind::Float && std::isfinite(count.as_float()) &&
      std::trunc(count.as_float()) == count.as_float()) {
    // An integral float counts like the integer; huge counts are caught below.
    n = static_cast<Int128>(std::clamp(count.as_float(), -1.0, 1e30));
  } else if (!as_integer(count, n) || count.kind() == Value::Kind::Bool) {
    return unsupported(Op::Mul, item, count);
  }
  if (n < 0) n = 0;
  if (item.kind() == Value::Kind::String) {
    std::string_view s = item.as_string();
    if (!s.empty() && n > static_cast<Int128>(limits::kMaxOutputBytes / s.size())) {
      return fail(ErrorKind::LimitExceeded, "string repetition is too long");
    }
    std::size_t times = s.empty() ? 0 : static_cast<std::size_t>(n);
    if (auto r = state.check_string_size(s.size() * times); !r) return std::unexpected(r.error());
    std::string out;
    out.reserve(s.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += s;
    return Value::from_string(std::move(out));
  }
  const auto& items = item.as_seq();
  if (!items.empty() && n > static_cast<Int128>(limits::kMaxSeqLength / items.size())) {
    return fail(ErrorKind::LimitExceeded, "sequence repetition is too long");
  }
  std::size_t times = items.empty() ? 0 : static_cast<std::size_t>(n);
  std::vector<Value> out;
  out.reserve(items.size() * times);
  for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), items.begin(), items.end());
  return Value::from_seq(std::move(out));
}

std::expected<Value, Error> contains(const Value& needle, const Value& haystack) {
  switch (haystack.kind()) {
    case Value::Kind::String:
      if (needle.kind() != Value::Kind::String) return Value::from_bool(false);
      return Value::from_bool(haystack.as_string().find(needle.as_string()) !=
                              std::string_view::npos);
    case Value::Kind::Seq:
      for (const Value& v : haystack.as_seq()) {
        if (values_equal(v, needle)) return Value::from_bool(true);
      }
      return Value::from_bool(false);
    case Value::Kind::Map: return Value::from_bool(!map_get(haystack, needle).is_undefined());
    case Value::Kind::Object:
      if (as_object(haystack)->entries()) {
        return Value::from_bool(!map_get(haystack, needle).is_undefined());
      }
      [[fallthrough]];
    default:
      return fail(ErrorKind::InvalidOperation, "cannot perform a containment check on this value");
  }
}

}  // namespace

std::expected<Value, Error> negate(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Bool:
    case Value::Kind::Int:
    case Value::Kind::UInt: {
      Int128 x;
      as_integer(v, x);
      return from_wide(-x);
    }
    case Value::Kind::Float: return Value::from_float(-v.as_float());
    default: return fail(ErrorKind::InvalidOperation);
  }
}

std::expected<Value, Error> binary_op(Op op, const Value& a, const Value& b, const State& state) {
  switch (op) {
    case Op::Eq: return Value::from_bool(values_equal(a, b));
    case Op::Ne: return Value::from_bool(!values_equal(a, b));
    case Op::Lt: return Value::from_bool(compare_values(a, b) < 0);
    case Op::Le: return Value::from_bool(compare_values(a, b) <= 0);
    case Op::Gt: return Value::from_bool(compare_values(a, b) > 0);
    case Op::Ge: return Value::from_bool(compare_values(a, b) >= 0);
    case Op::In: return contains(a, b);
    case Op::NotIn: {
      auto r = contains(a, b);
      if (!r) return r;
      return Value::from_bool(!r->as_bool());
    }
    case Op::Concat: {
      std::string out;
      append_output(out, a);
      append_output(out, b);
      if (auto r = state.check_string_size(out.size()); !r) return std::unexpected(r.error());
      return Value::from_string(std::move(out));
    }
    case Op::Add:
      if (a.kind() == Value::Kind::String && b.kind() == Value::Kind::String) {
        std::size_t n = a.as_string().size() + b.as_string().size();
        if (auto r = state.check_string_size(n); !r) return std::unexpected(r.error());
        std::string out;
        out.reserve(n);
        out += a.as_string();
        out += b.as_string();
        return Value::from_string(std::move(out));
      }
      if (a.kind() == Value::Kind::Seq && b.kind() == Value::Kind::Seq) {
        std::size_t n = a.as_seq().size() + b.as_seq().size();
        if (auto r = state.check_seq_size(n); !r) return std::unexpected(r.error());
        std::vector<Value> out;
        out.reserve(n);
        out.insert(out.end(), a.as_seq().begin(), a.as_seq().end());
        out.insert(out.end(), b.as_seq().begin(), b.as_seq().end());
        return Value::from_seq(std::move(out));
      }
      break;
    case Op::Mul:
      if ((a.kind() == Value::Kind::String || a.kind() == Value::Kind::Seq) && numeric(b)) {
        return repeat(a, b, state);
      }
      if ((b.kind() == Value::Kind::String || b.kind() == Value::Kind::Seq) && numeric(a)) {
        return repeat(b, a, state);
      }
      break;
    default: break;
  }
  if (numeric(a) && numeric(b)) return arithmetic(op, a, b);
  return unsupported(op, a, b);
}

}  // namespace jinja

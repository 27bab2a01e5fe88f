// printf-style formatting for the `format` filter and Python's str.format mini-language.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "builtins/support.hpp"
#include "objects.hpp"
#include "utf8.hpp"

namespace jinja::builtins {

namespace {

__extension__ typedef __int128 Int128;

std::unexpected<Error> bad(std::string detail) {
  return fail(ErrorKind::InvalidOperation, std::move(detail));
}

bool integral(const Value& v, Int128& out) {
  switch (v.kind()) {
    case Value::Kind::Bool: out = v.as_bool() ? 1 : 0; return true;
    case Value::Kind::Int: out = v.as_int(); return true;
    case Value::Kind::UInt: out = v.as_uint(); return true;
    default: return false;
  }
}

std::string digits_of(Int128 magnitude, int base, bool upper) {
  static constexpr char kLower[] = "0123456789abcdef";
  static constexpr char kUpper[] = "0123456789ABCDEF";
  std::string out;
  do {
    int d = static_cast<int>(magnitude % base);
    out.push_back(upper ? kUpper[d] : kLower[d]);
    magnitude /= base;
  } while (magnitude != 0);
  return {out.rbegin(), out.rend()};
}

// A C printf conversion of one double.
std::string c_format(double d, char conv, int precision, bool alt) {
  char spec[16];
  std::snprintf(spec, sizeof spec, "%%%s.*%c", alt ? "#" : "", conv);
  int n = std::snprintf(nullptr, 0, spec, precision, d);
  std::string out(static_cast<std::size_t>(n), '\0');
  std::snprintf(out.data(), out.size() + 1, spec, precision, d);
  return out;
}

std::size_t char_count(std::string_view s) { return utf8_length(s); }

std::string truncate_chars(std::string_view s, std::size_t n) {
  auto chars = characters_of(s);
  std::string out;
  for (std::size_t i = 0; i < chars.size() && i < n; ++i) out += chars[i];
  return out;
}

void pad(std::string& out, std::string_view body, std::size_t width, char align, std::string_view fill,
         std::string_view sign_part = {}) {
  std::size_t len = char_count(body) + char_count(sign_part);
  std::size_t gap = width > len ? width - len : 0;
  auto fill_n = [&](std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out += fill;
  };
  switch (align) {
    case '<': out += sign_part; out += body; fill_n(gap); break;
    case '^': fill_n(gap / 2); out += sign_part; out += body; fill_n(gap - gap / 2); break;
    case '=': out += sign_part; fill_n(gap); out += body; break;
    default: fill_n(gap); out += sign_part; out += body; break;
  }
}

// ---- printf ------------------------------------------------------------------------------

struct PrintfSpec {
  bool left = false, plus = false, space = false, zero = false, alt = false;
  std::size_t width = 0;
  int precision = -1;
  char conv = 0;
};

std::expected<std::string, Error> printf_one(const PrintfSpec& spec, const Value& v) {
  std::string body, sign;
  bool numeric = true;
  Int128 i;
  switch (spec.conv) {
    case 's':
    case 'r': {
      numeric = false;
      body = spec.conv == 'r' ? repr(v) : to_output_string(v);
      if (spec.precision >= 0) body = truncate_chars(body, static_cast<std::size_t>(spec.precision));
      break;
    }
    case 'c': {
      numeric = false;
      if (v.kind() == Value::Kind::String && char_count(v.as_string()) == 1) {
        body = v.as_string();
      } else if (integral(v, i) && i >= 0 && i <= 0x10FFFF) {
        std::string s;
        detail::append_utf8(s, static_cast<std::uint32_t>(i));
        body = std::move(s);
      } else {
        return bad("%c requires an integer or a single character");
      }
      break;
    }
    case 'd':
    case 'i':
    case 'o':
    case 'x':
    case 'X': {
      if (!integral(v, i)) {
        bool decimal = spec.conv == 'd' || spec.conv == 'i';
        if (!decimal || v.kind() != Value::Kind::Float || !std::isfinite(v.as_float()) ||
            std::fabs(v.as_float()) >= 1.7e38) {
          return bad(std::string("%") + spec.conv + " requires a number, not " +
                     std::string(kind_name(v)));
        }
        i = static_cast<Int128>(v.as_float());
      }
      bool negative = i < 0;
      Int128 magnitude = negative ? -i : i;
      int base = spec.conv == 'o' ? 8 : (spec.conv == 'x' || spec.conv == 'X') ? 16 : 10;
      body = digits_of(magnitude, base, spec.conv == 'X');
      if (spec.precision > 0 && body.size() < static_cast<std::size_t>(spec.precision)) {
        body.insert(0, static_cast<std::size_t>(spec.precision) - body.size(), '0');
      }
      if (spec.alt && base != 10) body.insert(0, spec.conv == 'o' ? "0o" : spec.conv == 'x' ? "0x" : "0X");
      sign = negative ? "-" : spec.plus ? "+" : spec.space ? " " : "";
      break;
    }
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G': {
      if (!is_number(v) && v.kind() != Value::Kind::Bool) {
        return bad(std::string("%") + spec.conv + " requires a number, not " +
                   std::string(kind_name(v)));
      }
      double d = to_double(v);
      body = c_format(std::fabs(d), spec.conv, spec.precision < 0 ? 6 : spec.precision, spec.alt);
      sign = std::signbit(d) && !std::isnan(d) ? "-" : spec.plus ? "+" : spec.space ? " " : "";
      break;
    }
    default: return bad(std::string("unsupported format character '") + spec.conv + "'");
  }
  std::string out;
  bool zero = spec.zero && numeric && !spec.left;
  pad(out, body, spec.width, spec.left ? '<' : zero ? '=' : '>', zero ? "0" : " ", sign);
  return out;
}

// ---- str.format ---------------------------------------------------------------------------

struct FormatSpec {
  std::string fill = " ";
  char align = 0;
  char sign = '-';
  bool alt = false, zero = false;
  std::size_t width = 0;
  char grouping = 0;
  int precision = -1;
  char type = 0;
};

std::expected<FormatSpec, Error> parse_spec(std::string_view s) {
  FormatSpec spec;
  auto is_align = [](char c) { return c == '<' || c == '>' || c == '^' || c == '='; };
  std::size_t i = 0;
  auto chars = characters_of(s);
  if (chars.size() >= 2 && chars[1].size() == 1 && is_align(chars[1][0])) {
    spec.fill = std::string(chars[0]);
    spec.align = chars[1][0];
    i = chars[0].size() + 1;
  } else if (!s.empty() && is_align(s[0])) {
    spec.align = s[0];
    i = 1;
  }
  if (i < s.size() && (s[i] == '+' || s[i] == '-' || s[i] == ' ')) spec.sign = s[i++];
  if (i < s.size() && s[i] == '#') spec.alt = (++i, true);
  if (i < s.size() && s[i] == '0') spec.zero = (++i, true);
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    spec.width = spec.width * 10 + static_cast<std::size_t>(s[i++] - '0');
    if (spec.width > 100000) return bad("format width is too large");
  }
  if (i < s.size() && (s[i] == ',' || s[i] == '_')) spec.grouping = s[i++];
  if (i < s.size() && s[i] == '.') {
    ++i;
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return bad("format precision is missing");
    spec.precision = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      spec.precision = spec.precision * 10 + (s[i++] - '0');
      if (spec.precision > 1000) return bad("format precision is too large");
    }
  }
  if (i < s.size()) spec.type = s[i++];
  if (i != s.size()) return bad("invalid format specifier");
  return spec;
}

void group_digits(std::string& digits, char sep, std::size_t every) {
  // `digits` holds only the integer digits.
  std::string out;
  std::size_t n = digits.size();
  for (std::size_t k = 0; k < n; ++k) {
    if (k > 0 && (n - k) % every == 0) out.push_back(sep);
    out.push_back(digits[k]);
  }
  digits = std::move(out);
}

// Python's repr of a float: shortest digits, scientific below 1e-4 and from 1e16 on.
std::string float_repr(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return "inf";
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
  std::string_view sci(buf, r.ptr);
  std::size_t e = sci.find('e');
  int exponent = std::atoi(std::string(sci.substr(e + 1)).c_str());
  if (exponent < -4 || exponent >= 16) {
    std::string mantissa(sci.substr(0, e));
    char ebuf[16];
    std::snprintf(ebuf, sizeof ebuf, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return mantissa + ebuf;
  }
  std::string out;
  append_float(out, d);
  return out;
}

std::expected<std::string, Error> format_number(const FormatSpec& spec, const Value& v) {
  char type = spec.type;
  Int128 i;
  bool is_int = integral(v, i);
  std::string body;
  bool negative = false;
  if (is_int && (type == 0 || type == 'd' || type == 'n' || type == 'b' || type == 'o' ||
                 type == 'x' || type == 'X' || type == 'c')) {
    if (spec.precision >= 0) return bad("precision is not allowed in integer format specifier");
    if (type == 'c') {
      PrintfSpec p;
      p.conv = 'c';
      return printf_one(p, v);
    }
    negative = i < 0;
    Int128 magnitude = negative ? -i : i;
    int base = type == 'b' ? 2 : type == 'o' ? 8 : (type == 'x' || type == 'X') ? 16 : 10;
    body = digits_of(magnitude, base, type == 'X');
    if (spec.grouping) group_digits(body, spec.grouping, base == 10 ? 3 : 4);
    if (spec.alt && base != 10) {
      body.insert(0, type == 'b' ? "0b" : type == 'o' ? "0o" : type == 'x' ? "0x" : "0X");
    }
  } else {
    if (!is_int && v.kind() != Value::Kind::Float) return bad("value cannot be formatted as a number");
    if (type != 0 && std::string_view("eEfFgG%").find(type) == std::string_view::npos) {
      return bad(std::string("unknown format code '") + type + "' for a number");
    }
    double d = to_double(v);
    negative = std::signbit(d) && !std::isnan(d);
    double a = std::fabs(d);
    if (type == '%') {
      body = c_format(a * 100, 'f', spec.precision < 0 ? 6 : spec.precision, spec.alt) + "%";
    } else if (type != 0) {
      body = c_format(a, type, spec.precision < 0 ? 6 : spec.precision, spec.alt);
    } else if (spec.precision < 0) {
      body = is_int ? digits_of(i < 0 ? -i : i, 10, false) : float_repr(a);
    } else {
      // Like 'g' (trailing zeros dropped), but switching to scientific notation one digit
      // earlier, and fixed notation keeps a digit after the point: Python's rules.
      int p = std::max(spec.precision, 1);
      std::string sci = c_format(a, 'e', p - 1, false);
      std::size_t e = sci.find('e');
      int exponent = e == std::string::npos ? 0 : std::atoi(sci.c_str() + e + 1);
      if (!std::isfinite(a)) {
        body = sci;
      } else if (exponent < -4 || exponent >= p - 1) {
        std::string mantissa = sci.substr(0, e);
        if (mantissa.find('.') != std::string::npos) {
          while (mantissa.back() == '0') mantissa.pop_back();
          if (mantissa.back() == '.') mantissa.pop_back();
        }
        body = mantissa + sci.substr(e);
      } else {
        body = c_format(a, 'f', std::max(p - 1 - exponent, 0), false);
        if (body.find('.') != std::string::npos) {
          while (body.back() == '0') body.pop_back();
          if (body.back() == '.') body.push_back('0');
        } else if (std::isfinite(a)) {
          body += ".0";
        }
      }
    }
    if (spec.grouping && std::isfinite(a)) {
      std::size_t end = body.find_first_not_of("0123456789");
      std::string digits = body.substr(0, end);
      group_digits(digits, spec.grouping, 3);
      body = digits + (end == std::string::npos ? "" : body.substr(end));
    }
  }
  std::string sign = negative ? "-" : spec.sign == '+' ? "+" : spec.sign == ' ' ? " " : "";
  std::string out;
  char align = spec.align ? spec.align : spec.zero ? '=' : '>';
  std::string fill = spec.zero && !spec.align ? "0" : spec.fill;
  pad(out, body, spec.width, align, fill, sign);
  return out;
}

std::expected<std::string, Error> format_field(const FormatSpec& spec, const Value& v) {
  bool number = is_number(v) || v.kind() == Value::Kind::Bool;
  bool empty = spec.type == 0 && spec.width == 0 && spec.precision < 0 && !spec.grouping &&
               spec.sign == '-' && !spec.alt && !spec.zero;
  if (empty) {
    if (v.kind() != Value::Kind::Float) return to_output_string(v);
    double d = v.as_float();
    return (std::signbit(d) && !std::isnan(d) ? "-" : "") + float_repr(std::fabs(d));
  }
  if (number && spec.type != 's') return format_number(spec, v);
  if (spec.type != 0 && spec.type != 's') {
    return bad(std::string("unknown format code '") + spec.type + "' for a value of type " +
               std::string(kind_name(v)));
  }
  if (number) return bad("format code 's' needs a string");
  if (spec.align == '=') return bad("'=' alignment is not allowed for strings");
  if (spec.sign != '-' || spec.grouping || spec.alt) {
    return bad("sign, grouping and '#' are not allowed for strings");
  }
  std::string body = to_output_string(v);
  if (spec.precision >= 0) body = truncate_chars(body, static_cast<std::size_t>(spec.precision));
  std::string out;
  pad(out, body, spec.width, spec.align ? spec.align : '<',
      spec.zero && !spec.align ? "0" : spec.fill);
  return out;
}

// Resolves `0.name[key]` against the arguments.
Result resolve_field(const State& state, std::string_view field, std::size_t& auto_index,
                     int& numbering, std::span<const Value> args, std::span<const Kwarg> named) {
  std::size_t end = field.find_first_of(".[");
  std::string_view head = field.substr(0, end);
  Value current;
  if (head.empty() || (head[0] >= '0' && head[0] <= '9')) {
    std::size_t index = 0;
    if (head.empty()) {
      if (numbering == 2) return bad("cannot switch from manual to automatic field numbering");
      numbering = 1;
      index = auto_index++;
    } else {
      if (numbering == 1) return bad("cannot switch from automatic to manual field numbering");
      numbering = 2;
      auto [ptr, ec] = std::from_chars(head.data(), head.data() + head.size(), index);
      if (ec != std::errc() || ptr != head.data() + head.size()) return bad("invalid field name");
    }
    if (index >= args.size()) return bad("format field refers to a missing argument");
    current = args[index];
  } else {
    bool found = false;
    for (const auto& [name, value] : named) {
      if (name == head) {
        current = value;
        found = true;
      }
    }
    if (!found) return bad("format field refers to a missing keyword argument");
  }
  std::string_view rest = end == std::string_view::npos ? std::string_view{} : field.substr(end);
  while (!rest.empty()) {
    if (auto r = state.require_defined(current); !r) return pass(r.error());
    if (rest[0] == '.') {
      std::size_t stop = rest.find_first_of(".[", 1);
      current = state.get_attr(current, rest.substr(1, stop == std::string_view::npos ? stop : stop - 1));
      rest = stop == std::string_view::npos ? std::string_view{} : rest.substr(stop);
    } else {
      std::size_t close = rest.find(']');
      if (close == std::string_view::npos) return bad("missing ']' in format field");
      std::string_view key = rest.substr(1, close - 1);
      std::int64_t index = 0;
      auto [ptr, ec] = std::from_chars(key.data(), key.data() + key.size(), index);
      Value k = !key.empty() && ec == std::errc() && ptr == key.data() + key.size()
                    ? Value::from_int(index)
                    : Value::from_string(std::string(key));
      current = state.get_item(current, k);
      rest.remove_prefix(close + 1);
    }
    if (current.is_undefined()) return bad("format field refers to a missing attribute or item");
  }
  return current;
}

}  // namespace

Result printf_format(const State& state, std::string_view fmt, std::span<const Value> args,
                     const Value& named) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') {
      out.push_back(fmt[i]);
      continue;
    }
    if (++i >= fmt.size()) return bad("incomplete format");
    if (fmt[i] == '%') {
      out.push_back('%');
      continue;
    }
    Value arg;
    bool have_arg = false;
    if (fmt[i] == '(') {
      std::size_t close = fmt.find(')', i);
      if (close == std::string_view::npos) return bad("incomplete format key");
      std::string_view key = fmt.substr(i + 1, close - i - 1);
      Value source = !named.is_undefined() ? named : args.size() == 1 ? args[0] : Value();
      arg = map_get(source, key);
      if (arg.is_undefined()) return bad("format key is missing from the arguments");
      have_arg = true;
      i = close + 1;
    }
    PrintfSpec spec;
    for (; i < fmt.size(); ++i) {
      char c = fmt[i];
      if (c == '-') spec.left = true;
      else if (c == '+') spec.plus = true;
      else if (c == ' ') spec.space = true;
      else if (c == '0') spec.zero = true;
      else if (c == '#') spec.alt = true;
      else break;
    }
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
      spec.width = spec.width * 10 + static_cast<std::size_t>(fmt[i++] - '0');
      if (spec.width > 100000) return bad("format width is too large");
    }
    if (i < fmt.size() && fmt[i] == '.') {
      spec.precision = 0;
      while (++i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
        spec.precision = spec.precision * 10 + (fmt[i] - '0');
        if (spec.precision > 1000) return bad("format precision is too large");
      }
    }
    while (i < fmt.size() && (fmt[i] == 'h' || fmt[i] == 'l' || fmt[i] == 'L')) ++i;
    if (i >= fmt.size()) return bad("incomplete format");
    spec.conv = fmt[i];
    if (!have_arg) {
      if (next >= args.size()) return bad("not enough arguments for format string");
      arg = args[next++];
    }
    if (auto r = state.require_defined(arg); !r) return pass(r.error());
    auto piece = printf_one(spec, arg);
    if (!piece) return pass(piece.error());
    out += *piece;
    if (auto r = state.check_string_size(out.size()); !r) return pass(r.error());
  }
  return Value::from_string(std::move(out));
}

Result python_format(const State& state, std::string_view fmt, std::span<const Value> args,
                     std::span<const Kwarg> named) {
  std::string out;
  std::size_t auto_index = 0;
  int numbering = 0;  // 1: automatic, 2: manual
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c == '}') {
      if (i + 1 < fmt.size() && fmt[i + 1] == '}') {
        out.push_back('}');
        ++i;
        continue;
      }
      return bad("single '}' encountered in format string");
    }
    if (c != '{') {
      out.push_back(c);
      continue;
    }
    if (i + 1 < fmt.size() && fmt[i + 1] == '{') {
      out.push_back('{');
      ++i;
      continue;
    }
    std::size_t close = fmt.find('}', i);
    if (close == std::string_view::npos) return bad("single '{' encountered in format string");
    std::string_view field = fmt.substr(i + 1, close - i - 1);
    if (field.find('{') != std::string_view::npos) {
      return bad("nested replacement fields are not supported");
    }
    i = close;
    std::string_view spec_text, conversion;
    if (std::size_t colon = field.find(':'); colon != std::string_view::npos) {
      spec_text = field.substr(colon + 1);
      field = field.substr(0, colon);
    }
    if (std::size_t bang = field.find('!'); bang != std::string_view::npos) {
      conversion = field.substr(bang + 1);
      field = field.substr(0, bang);
      if (conversion != "r" && conversion != "s" && conversion != "a") {
        return bad("unknown conversion specifier");
      }
    }
    auto value = resolve_field(state, field, auto_index, numbering, args, named);
    if (!value) return pass(value.error());
    if (auto r = state.require_defined(*value); !r) return pass(r.error());
    Value v = conversion.empty() ? *value
              : conversion == "s" ? Value::from_string(to_output_string(*value))
                                  : Value::from_string(repr(*value));
    auto spec = parse_spec(spec_text);
    if (!spec) return pass(spec.error());
    auto piece = format_field(*spec, v);
    if (!piece) return pass(piece.error());
    out += *piece;
    if (auto r = state.check_string_size(out.size()); !r) return pass(r.error());
  }
  return Value::from_string(std::move(out));
}

}  // namespace jinja::builtins

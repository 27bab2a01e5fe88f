// How values print: plain text for output, a Python-like form inside containers.
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "limits.hpp"
#include "value.hpp"

namespace jinja {

namespace {

void append_uint(std::string& out, std::uint64_t u) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, u);
  out.append(buf, r.ptr);
}

void append_int(std::string& out, std::int64_t i) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, i);
  out.append(buf, r.ptr);
}

void append_quoted(std::string& out, std::string_view s) {
  // Python's choice of quote: single unless the text holds one and no double quote.
  char quote = (s.find('\'') != std::string_view::npos && s.find('"') == std::string_view::npos)
                   ? '"'
                   : '\'';
  out.push_back(quote);
  for (unsigned char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c == static_cast<unsigned char>(quote)) {
          out.push_back('\\');
          out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7F) {
          static constexpr char kHex[] = "0123456789abcdef";
          out += "\\x";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 15]);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back(quote);
}

}  // namespace

void append_float(std::string& out, double d) {
  if (std::isnan(d)) {
    out += "NaN";
    return;
  }
  if (std::isinf(d)) {
    out += d < 0 ? "-inf" : "inf";
    return;
  }
  // Shortest round-trip digits, then written positionally (never with an exponent), and
  // integral values keep a ".0" so that they read as floats.
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
  std::string_view sci(buf, r.ptr);
  if (sci.front() == '-') {
    out.push_back('-');
    sci.remove_prefix(1);
  }
  std::size_t e = sci.find('e');
  int exponent = std::atoi(std::string(sci.substr(e + 1)).c_str());
  std::string digits;
  for (char c : sci.substr(0, e)) {
    if (c != '.') digits.push_back(c);
  }
  int point = exponent + 1;
  int n = static_cast<int>(digits.size());
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out += digits;
  } else if (point >= n) {
    out += digits;
    out.append(static_cast<std::size_t>(point - n), '0');
    out += ".0";
  } else {
    out.append(digits, 0, static_cast<std::size_t>(point));
    out.push_back('.');
    out.append(digits, static_cast<std::size_t>(point));
  }
}

void append_output(std::string& out, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Undefined: return;
    case Value::Kind::String: out += v.as_string(); return;
    default: append_repr(out, v);
  }
}

void append_repr(std::string& out, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Undefined: out += "undefined"; return;
    case Value::Kind::None: out += "None"; return;
    case Value::Kind::Bool: out += v.as_bool() ? "True" : "False"; return;
    case Value::Kind::Int: append_int(out, v.as_int()); return;
    case Value::Kind::UInt: append_uint(out, v.as_uint()); return;
    case Value::Kind::Float: append_float(out, v.as_float()); return;
    case Value::Kind::String: append_quoted(out, v.as_string()); return;
    case Value::Kind::Seq: {
      bool tuple = ValueAccess::is_tuple(v);
      out.push_back(tuple ? '(' : '[');
      bool first = true;
      for (const Value& item : v.as_seq()) {
        // Past the output bound the caller fails anyway; stop expanding shared parts.
        if (out.size() > limits::kMaxOutputBytes) return;
        if (!first) out += ", ";
        first = false;
        append_repr(out, item);
      }
      if (tuple && v.as_seq().size() == 1) out.push_back(',');
      out.push_back(tuple ? ')' : ']');
      return;
    }
    case Value::Kind::Map: {
      out.push_back('{');
      bool first = true;
      for (const auto& [key, item] : v.as_map()) {
        if (out.size() > limits::kMaxOutputBytes) return;
        if (!first) out += ", ";
        first = false;
        append_repr(out, key);
        out += ": ";
        append_repr(out, item);
      }
      out.push_back('}');
      return;
    }
    case Value::Kind::Object: as_object(v)->print(out); return;
  }
}

std::string repr(const Value& v) {
  std::string out;
  append_repr(out, v);
  return out;
}

std::string to_output_string(const Value& value) {
  std::string out;
  append_output(out, value);
  return out;
}

}  // namespace jinja

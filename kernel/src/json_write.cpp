#include <charconv>
#include <cmath>

#include "json_number.hpp"
#include "quorlen/core/json.hpp"

namespace quorlen::core::json {

namespace {

void write_string(std::string& out, std::string_view s) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  std::size_t run = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s.data() + run, i - run);
    run = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 0xF];
    }
  }
  out.append(s.data() + run, s.size() - run);
  out += '"';
}

template <class Int>
void write_integer(std::string& out, Int value) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, end);
}

void write_value(std::string& out, const Value& value) {
  struct Writer {
    std::string& out;
    void operator()(Null) { out += "null"; }
    void operator()(bool b) { out += b ? "true" : "false"; }
    void operator()(std::int64_t i) { write_integer(out, i); }
    void operator()(std::uint64_t u) { write_integer(out, u); }
    void operator()(double d) {
      if (std::isfinite(d)) {
        detail::append_double(out, d);
      } else {
        out += "null";
      }
    }
    void operator()(const std::string& s) { write_string(out, s); }
    void operator()(const Array& array) {
      out += '[';
      bool first = true;
      for (const auto& item : array) {
        if (!first) out += ',';
        first = false;
        write_value(out, item);
      }
      out += ']';
    }
    void operator()(const Object& object) {
      out += '{';
      bool first = true;
      for (const auto& [key, item] : object) {
        if (!first) out += ',';
        first = false;
        write_string(out, key);
        out += ':';
        write_value(out, item);
      }
      out += '}';
    }
  };
  std::visit(Writer{out}, value.v);
}

}  // namespace

std::string write(const Value& value) {
  std::string out;
  write_value(out, value);
  return out;
}

}  // namespace quorlen::core::json

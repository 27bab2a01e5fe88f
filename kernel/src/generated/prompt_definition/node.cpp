#include "quorlen/core/generated/prompt_definition/node.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "generated/prompt_definition/node_value.hpp"
#include "json_number.hpp"

namespace quorlen::core::generated::prompt_definition {

namespace detail {

namespace {

constexpr std::string_view kTagPrefix = "tag:yaml.org,2002:";

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool all_of(std::string_view s, bool (*pred)(char)) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!pred(c)) return false;
  }
  return true;
}
bool is_octal(char c) { return c >= '0' && c <= '7'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool is_null_form(std::string_view s) {
  return s.empty() || s == "~" || s == "null" || s == "Null" || s == "NULL";
}

int bool_form(std::string_view s) {
  if (s == "true" || s == "True" || s == "TRUE") return 1;
  if (s == "false" || s == "False" || s == "FALSE") return 0;
  return -1;
}

std::string_view strip_sign(std::string_view s) {
  return !s.empty() && (s[0] == '+' || s[0] == '-') ? s.substr(1) : s;
}

// [-+]? ( \. [0-9]+ | [0-9]+ ( \. [0-9]* )? ) ( [eE] [-+]? [0-9]+ )?
bool is_decimal_float(std::string_view s) {
  s = strip_sign(s);
  std::size_t i = 0;
  std::size_t int_digits = 0;
  while (i < s.size() && is_digit(s[i])) ++i, ++int_digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    std::size_t frac_digits = 0;
    while (i < s.size() && is_digit(s[i])) ++i, ++frac_digits;
    if (int_digits == 0 && frac_digits == 0) return false;
  } else if (int_digits == 0) {
    return false;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (!all_of(s.substr(i), is_digit)) return false;
    return true;
  }
  return i == s.size();
}

bool is_special_float(std::string_view s) {
  std::string_view inf = strip_sign(s);
  if (inf == ".inf" || inf == ".Inf" || inf == ".INF") return true;
  return s == ".nan" || s == ".NaN" || s == ".NAN";
}

// Integer forms of the core schema; false when the value does not fit 64 bits.
bool parse_int(std::string_view s, json::Value& out) {
  auto radix = [&](std::string_view digits, int base) {
    std::uint64_t value = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (ec != std::errc{}) return false;
    out = value;
    return true;
  };
  if (s.starts_with("0o")) return radix(s.substr(2), 8);
  if (s.starts_with("0x")) return radix(s.substr(2), 16);
  bool negative = s.starts_with('-');
  std::string_view digits = strip_sign(s);
  std::uint64_t magnitude = 0;
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (ec != std::errc{}) return false;
  if (!negative || magnitude == 0) {
    out = magnitude;
    return true;
  }
  constexpr std::uint64_t min_magnitude = std::uint64_t{1} << 63;
  if (magnitude > min_magnitude) return false;
  out = magnitude == min_magnitude ? std::numeric_limits<std::int64_t>::min()
                                   : -static_cast<std::int64_t>(magnitude);
  return true;
}

double parse_float(std::string_view s) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  bool negative = s.starts_with('-');
  std::string_view unsigned_part = strip_sign(s);
  if (unsigned_part == ".inf" || unsigned_part == ".Inf" || unsigned_part == ".INF") {
    return negative ? -inf : inf;
  }
  if (s == ".nan" || s == ".NaN" || s == ".NAN") return std::numeric_limits<double>::quiet_NaN();
  std::string text;  // the decimal reader takes no '+'
  if (negative) text += '-';
  text += unsigned_part;
  auto value = json::detail::parse_decimal(text);
  if (!value) return negative ? -inf : inf;
  return *value;
}

CoreType tag_type(std::string_view tag, bool& known) {
  known = true;
  if (tag == "!") return CoreType::String;  // the non-specific tag of a quoted scalar
  if (tag.starts_with(kTagPrefix)) {
    std::string_view name = tag.substr(kTagPrefix.size());
    if (name == "str") return CoreType::String;
    if (name == "null") return CoreType::Null;
    if (name == "bool") return CoreType::Bool;
    if (name == "int") return CoreType::Int;
    if (name == "float") return CoreType::Float;
  }
  known = false;
  return CoreType::String;
}

// The type a Scalar stands for: its core tag, else its style.
CoreType scalar_type(const Node& node) {
  bool known = false;
  CoreType tagged = tag_type(node.tag, known);
  if (known) return tagged;
  return node.plain ? classify_plain(node.text) : CoreType::String;
}

std::expected<json::Value, std::string> resolve_scalar(const Node& node) {
  CoreType type = scalar_type(node);
  const std::string& text = node.text;
  CoreType found = classify_plain(text);
  auto mismatch = [&](std::string_view expected) {
    return std::unexpected("invalid value `" + text + "` for a scalar tagged as " +
                           std::string(expected));
  };
  switch (type) {
    case CoreType::String:
      return json::Value(text);
    case CoreType::Null:
      if (found != CoreType::Null) return mismatch("null");
      return json::Value();
    case CoreType::Bool:
      if (found != CoreType::Bool) return mismatch("a boolean");
      return json::Value(bool_form(text) == 1);
    case CoreType::Int:
      if (found != CoreType::Int) return mismatch("an integer");
      break;
    case CoreType::Float:
      if (found != CoreType::Int && found != CoreType::Float) return mismatch("a float");
      return json::Value(parse_float(text));
  }
  return resolve_core_schema(text);
}

void append_quoted(std::string& out, std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
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
      case '\0':
        out += "\\0";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u{";
          if (c >= 0x10) out += hex[c >> 4];
          out += hex[c & 0xF];
          out += '}';
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

std::string describe_value(const json::Value& value) {
  struct Describe {
    std::string operator()(json::Null) { return "null"; }
    std::string operator()(bool b) { return b ? "boolean `true`" : "boolean `false`"; }
    std::string operator()(std::int64_t i) { return "integer `" + std::to_string(i) + "`"; }
    std::string operator()(std::uint64_t u) { return "integer `" + std::to_string(u) + "`"; }
    std::string operator()(double d) {
      std::string out = "floating point `";
      json::detail::append_double(out, d);
      return out + "`";
    }
    std::string operator()(const std::string& s) {
      std::string out = "string ";
      append_quoted(out, s);
      return out;
    }
    std::string operator()(const json::Array&) { return "sequence"; }
    std::string operator()(const json::Object&) { return "map"; }
  };
  return std::visit(Describe{}, value.v);
}

}  // namespace

CoreType classify_plain(std::string_view s) {
  if (is_null_form(s)) return CoreType::Null;
  if (bool_form(s) >= 0) return CoreType::Bool;
  if (s.starts_with("0o") && all_of(s.substr(2), is_octal)) return CoreType::Int;
  if (s.starts_with("0x") && all_of(s.substr(2), is_hex)) return CoreType::Int;
  if (all_of(strip_sign(s), is_digit)) return CoreType::Int;
  if (is_decimal_float(s) || is_special_float(s)) return CoreType::Float;
  return CoreType::String;
}

bool is_text_value(const Node& node) {
  if (node.kind == Node::Kind::String) return true;
  return node.kind == Node::Kind::Scalar && scalar_type(node) == CoreType::String;
}

bool scalar_boolean(const Node& node, bool& out) {
  if (node.kind != Node::Kind::Scalar || scalar_type(node) != CoreType::Bool) return false;
  int form = bool_form(node.text);
  if (form < 0) return false;
  out = form == 1;
  return true;
}

bool scalar_is_null(const Node& node) {
  return node.kind == Node::Kind::Scalar && scalar_type(node) == CoreType::Null &&
         is_null_form(node.text);
}

std::expected<json::Value, NodeFailure> to_value(const Node& node) {
  switch (node.kind) {
    case Node::Kind::Null:
      return json::Value();
    case Node::Kind::Bool:
      return json::Value(node.boolean);
    case Node::Kind::Int:
      if (node.int_value >= 0) return json::Value(static_cast<std::uint64_t>(node.int_value));
      return json::Value(node.int_value);
    case Node::Kind::UInt:
      return json::Value(node.uint_value);
    case Node::Kind::Float:
      return json::Value(node.float_value);
    case Node::Kind::String:
    case Node::Kind::DateTime:
      return json::Value(node.text);
    case Node::Kind::Scalar: {
      auto value = resolve_scalar(node);
      if (!value) return std::unexpected(NodeFailure{std::move(value.error()), &node});
      return std::move(*value);
    }
    case Node::Kind::Sequence: {
      json::Array array;
      array.reserve(node.items.size());
      for (const Node& item : node.items) {
        auto value = to_value(item);
        if (!value) return std::unexpected(std::move(value.error()));
        array.push_back(std::move(*value));
      }
      return json::Value(std::move(array));
    }
    case Node::Kind::Mapping: {
      json::Object object;
      for (const auto& [key, item] : node.entries) {
        const std::string* text = text_of(key);
        if (!text) {
          return std::unexpected(
              NodeFailure{"invalid type: " + describe(key) + ", expected a string", &key});
        }
        auto value = to_value(item);
        if (!value) return std::unexpected(std::move(value.error()));
        object.insert_or_assign(*text, std::move(*value));  // the later entry wins
      }
      return json::Value(std::move(object));
    }
  }
  return json::Value();
}

std::string describe(const Node& node) {
  switch (node.kind) {
    case Node::Kind::Null:
      return "null";
    case Node::Kind::Bool:
      return describe_value(json::Value(node.boolean));
    case Node::Kind::Int:
      return describe_value(json::Value(node.int_value));
    case Node::Kind::UInt:
      return describe_value(json::Value(node.uint_value));
    case Node::Kind::Float:
      return describe_value(json::Value(node.float_value));
    case Node::Kind::String:
      return describe_value(json::Value(node.text));
    case Node::Kind::Scalar: {
      auto value = resolve_scalar(node);
      return describe_value(value ? *value : json::Value(node.text));
    }
    case Node::Kind::DateTime:
      return "datetime `" + node.text + "`";
    case Node::Kind::Sequence:
      return "sequence";
    case Node::Kind::Mapping:
      return "map";
  }
  return "value";
}

}  // namespace detail

json::Value resolve_core_schema(std::string_view plain_scalar) {
  using detail::CoreType;
  switch (detail::classify_plain(plain_scalar)) {
    case CoreType::Null:
      return json::Value();
    case CoreType::Bool:
      return json::Value(detail::bool_form(plain_scalar) == 1);
    case CoreType::Int: {
      json::Value value;
      if (detail::parse_int(plain_scalar, value)) return value;
      // Too wide for 64 bits: decimal digits still name a number, other radixes stay text.
      if (plain_scalar.starts_with("0o") || plain_scalar.starts_with("0x")) {
        return json::Value(std::string(plain_scalar));
      }
      return json::Value(detail::parse_float(plain_scalar));
    }
    case CoreType::Float:
      return json::Value(detail::parse_float(plain_scalar));
    case CoreType::String:
      break;
  }
  return json::Value(std::string(plain_scalar));
}

std::expected<json::Value, std::string> to_json(const Node& node) {
  auto value = detail::to_value(node);
  if (!value) return std::unexpected(std::move(value.error().message));
  return std::move(*value);
}

}  // namespace quorlen::core::generated::prompt_definition

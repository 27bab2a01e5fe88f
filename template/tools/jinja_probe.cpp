// Test-only driver for the differential test: reads JSON lines {"template": T, "context": C}
// on stdin, renders T with C in a fresh environment under the name "probe" and writes one JSON
// line per input: {"ok": true, "out": TEXT} or {"ok": false, "kind": KIND, "message": TEXT}.
// The engine must not depend on the kernel's JSON value, so this file decodes its own input.
#include <jinja/jinja.hpp>

#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "utf8.hpp"

namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}

  std::optional<jinja::Value> value(int depth = 0) {
    skip();
    if (pos_ >= s_.size() || depth > 200) return std::nullopt;
    char c = s_[pos_];
    if (c == '{') return object(depth);
    if (c == '[') return array(depth);
    if (c == '"') {
      auto s = string();
      if (!s) return std::nullopt;
      return jinja::Value::from_string(std::move(*s));
    }
    if (word("true")) return jinja::Value::from_bool(true);
    if (word("false")) return jinja::Value::from_bool(false);
    if (word("null")) return jinja::Value::none();
    return number();
  }

  std::optional<std::vector<std::pair<std::string, jinja::Value>>> members(int depth) {
    std::vector<std::pair<std::string, jinja::Value>> out;
    if (!eat('{')) return std::nullopt;
    if (eat('}')) return out;
    do {
      skip();
      auto key = string();
      if (!key || !eat(':')) return std::nullopt;
      auto v = value(depth + 1);
      if (!v) return std::nullopt;
      out.emplace_back(std::move(*key), std::move(*v));
    } while (eat(','));
    if (!eat('}')) return std::nullopt;
    return out;
  }

 private:
  void skip() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' ||
                                s_[pos_] == '\r')) {
      ++pos_;
    }
  }
  bool eat(char c) {
    skip();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool word(std::string_view w) {
    if (s_.substr(pos_, w.size()) != w) return false;
    pos_ += w.size();
    return true;
  }

  std::optional<jinja::Value> object(int depth) {
    auto m = members(depth);
    if (!m) return std::nullopt;
    return jinja::Value::from_map(std::move(*m));
  }

  std::optional<jinja::Value> array(int depth) {
    std::vector<jinja::Value> items;
    eat('[');
    if (eat(']')) return jinja::Value::from_seq(std::move(items));
    do {
      auto v = value(depth + 1);
      if (!v) return std::nullopt;
      items.push_back(std::move(*v));
    } while (eat(','));
    if (!eat(']')) return std::nullopt;
    return jinja::Value::from_seq(std::move(items));
  }

  std::optional<jinja::Value> number() {
    std::size_t start = pos_;
    bool is_float = false;
    while (pos_ < s_.size() && std::string_view("+-0123456789.eE").find(s_[pos_]) !=
                                   std::string_view::npos) {
      is_float = is_float || s_[pos_] == '.' || s_[pos_] == 'e' || s_[pos_] == 'E';
      ++pos_;
    }
    const char* b = s_.data() + start;
    const char* e = s_.data() + pos_;
    if (b == e) return std::nullopt;
    if (!is_float) {
      std::int64_t i;
      if (auto r = std::from_chars(b, e, i); r.ec == std::errc() && r.ptr == e) {
        return jinja::Value::from_int(i);
      }
      std::uint64_t u;
      if (auto r = std::from_chars(b, e, u); r.ec == std::errc() && r.ptr == e) {
        return jinja::Value::from_uint(u);
      }
    }
    double d;
    if (auto r = std::from_chars(b, e, d); r.ec == std::errc() && r.ptr == e) {
      return jinja::Value::from_float(d);
    }
    return std::nullopt;
  }


  std::optional<std::uint32_t> hex4() {
    if (pos_ + 4 > s_.size()) return std::nullopt;
    std::uint32_t v = 0;
    auto r = std::from_chars(s_.data() + pos_, s_.data() + pos_ + 4, v, 16);
    if (r.ptr != s_.data() + pos_ + 4) return std::nullopt;
    pos_ += 4;
    return v;
  }

  std::optional<std::string> string() {
    if (pos_ >= s_.size() || s_[pos_] != '"') return std::nullopt;
    ++pos_;
    std::string out;
    while (pos_ < s_.size() && s_[pos_] != '"') {
      char c = s_[pos_++];
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (pos_ >= s_.size()) return std::nullopt;
      char e = s_[pos_++];
      switch (e) {
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'u': {
          auto cp = hex4();
          if (!cp) return std::nullopt;
          if (*cp >= 0xD800 && *cp < 0xDC00 && s_.substr(pos_, 2) == "\\u") {
            pos_ += 2;
            auto low = hex4();
            if (!low) return std::nullopt;
            *cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
          }
          jinja::detail::append_utf8(out, *cp);
          break;
        }
        default: out.push_back(e);
      }
    }
    if (pos_ >= s_.size()) return std::nullopt;
    ++pos_;
    return out;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

void write_string(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 15]);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

std::string_view kind_name(jinja::ErrorKind kind) {
  switch (kind) {
    case jinja::ErrorKind::SyntaxError: return "SyntaxError";
    case jinja::ErrorKind::UndefinedError: return "UndefinedError";
    case jinja::ErrorKind::InvalidOperation: return "InvalidOperation";
    case jinja::ErrorKind::TooManyArguments: return "TooManyArguments";
    case jinja::ErrorKind::MissingArgument: return "MissingArgument";
    case jinja::ErrorKind::UnknownFilter: return "UnknownFilter";
    case jinja::ErrorKind::UnknownTest: return "UnknownTest";
    case jinja::ErrorKind::UnknownFunction: return "UnknownFunction";
    case jinja::ErrorKind::UnknownMethod: return "UnknownMethod";
    case jinja::ErrorKind::BadEscape: return "BadEscape";
    case jinja::ErrorKind::CannotUnpack: return "CannotUnpack";
    case jinja::ErrorKind::TemplateNotFound: return "TemplateNotFound";
    case jinja::ErrorKind::LimitExceeded: return "LimitExceeded";
  }
  return "Unknown";
}

std::string run(std::string_view line) {
  std::string out = "{";
  auto fail = [&](std::string_view kind, std::string_view message) {
    out += "\"ok\": false, \"kind\": ";
    write_string(out, kind);
    out += ", \"message\": ";
    write_string(out, message);
    out += "}";
    return out;
  };
  auto request = Reader(line).members(0);
  if (!request) return fail("ProbeInput", "the input line is not a JSON object");
  std::string source;
  jinja::Value context = jinja::Value::from_map({});
  for (auto& [key, value] : *request) {
    if (key == "template") source = std::string(value.as_string());
    if (key == "context") context = std::move(value);
  }
  jinja::Environment env;
  if (auto r = env.add_template("probe", std::move(source)); !r) {
    return fail(kind_name(r.error().kind), r.error().full_text());
  }
  auto tpl = env.get_template("probe");
  if (!tpl) return fail(kind_name(tpl.error().kind), tpl.error().full_text());
  auto text = (*tpl)->render(std::move(context));
  if (!text) return fail(kind_name(text.error().kind), text.error().full_text());
  out += "\"ok\": true, \"out\": ";
  write_string(out, *text);
  out += "}";
  return out;
}

}  // namespace

int main() {
  std::ios::sync_with_stdio(false);
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.empty()) continue;
    std::cout << run(line) << '\n' << std::flush;
  }
  return 0;
}

// The public toml-test cases for TOML 1.1.0: every valid document reads to the expected
// value, every invalid one is refused with a positioned report.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "generated/prompt_definition/toml_reader.hpp"
#include "utf8.hpp"

namespace pd = quorlen::core::generated::prompt_definition;
using pd::Node;

namespace {

const std::filesystem::path kSuite = std::filesystem::path(QUORLEN_CONFORMANCE_DIR) / "toml-test";

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> listed_cases(std::string_view prefix) {
  std::ifstream in(kSuite / "files-toml-1.1.0");
  std::vector<std::string> cases;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(prefix) && line.ends_with(".toml")) cases.push_back(line);
  }
  return cases;
}

// The suite's expected values are plain JSON written by the suite itself, so this small
// reader of well-formed JSON is all the comparison needs.
struct Json {
  std::variant<std::string, std::vector<Json>, std::map<std::string, Json>> v;
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view s) : s_(s) {}
  Json value() {
    ws();
    if (s_[i_] == '{') {
      std::map<std::string, Json> object;
      ++i_;
      for (ws(); s_[i_] != '}'; ws()) {
        std::string key = string();
        ws();
        ++i_;  // ':'
        object[key] = value();
        ws();
        if (s_[i_] == ',') ++i_;
      }
      ++i_;
      return Json{std::move(object)};
    }
    if (s_[i_] == '[') {
      std::vector<Json> array;
      ++i_;
      for (ws(); s_[i_] != ']'; ws()) {
        array.push_back(value());
        ws();
        if (s_[i_] == ',') ++i_;
      }
      ++i_;
      return Json{std::move(array)};
    }
    return Json{string()};
  }

 private:
  void ws() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  std::string string() {
    std::string out;
    for (++i_; s_[i_] != '"'; ++i_) {
      if (s_[i_] != '\\') {
        out.push_back(s_[i_]);
        continue;
      }
      const char e = s_[++i_];
      switch (e) {
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'u': {
          unsigned cp = 0;
          std::from_chars(s_.data() + i_ + 1, s_.data() + i_ + 5, cp, 16);
          i_ += 4;
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            unsigned low = 0;
            std::from_chars(s_.data() + i_ + 3, s_.data() + i_ + 7, low, 16);
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i_ += 6;
          }
          quorlen::core::detail::append_utf8(out, cp);
          break;
        }
        default: out.push_back(e);
      }
    }
    ++i_;
    return out;
  }
  std::string_view s_;
  std::size_t i_ = 0;
};

// Fractions of seconds compare by value: the suite writes milliseconds, the reader keeps
// the digits as written.
std::string without_trailing_fraction_zeros(std::string text) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos) return text;
  std::size_t end = dot + 1;
  while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  std::size_t last = end;
  while (last > dot + 1 && text[last - 1] == '0') --last;
  if (last == dot + 1) last = dot;
  return text.erase(last, end - last);
}

std::string date_time_type(const std::string& text) {
  const bool date = text.size() >= 10 && text[4] == '-';
  if (!date) return "time-local";
  if (text.size() == 10) return "date-local";
  const bool offset = text.back() == 'Z' || text.find_first_of("+-", 19) != std::string::npos;
  return offset ? "datetime" : "datetime-local";
}

// Empty when equal, else where and how they differ.
std::string compare(const Node& node, const Json& expected, const std::string& path) {
  if (const auto* object = std::get_if<std::map<std::string, Json>>(&expected.v)) {
    const auto type = object->find("type");
    const auto value = object->find("value");
    if (object->size() == 2 && type != object->end() && value != object->end() &&
        std::holds_alternative<std::string>(type->second.v) &&
        std::holds_alternative<std::string>(value->second.v)) {
      const std::string& t = std::get<std::string>(type->second.v);
      const std::string& text = std::get<std::string>(value->second.v);
      bool same = false;
      if (t == "string") {
        same = node.kind == Node::Kind::String && node.text == text;
      } else if (t == "integer") {
        std::int64_t i = 0;
        std::from_chars(text.data(), text.data() + text.size(), i);
        same = node.kind == Node::Kind::Int && node.int_value == i;
      } else if (t == "bool") {
        same = node.kind == Node::Kind::Bool && node.boolean == (text == "true");
      } else if (t == "float") {
        if (node.kind == Node::Kind::Float) {
          const double f = node.float_value;
          if (text.ends_with("nan")) {
            same = std::isnan(f);
          } else if (text.ends_with("inf")) {
            same = std::isinf(f) && std::signbit(f) == text.starts_with("-");
          } else {
            same = f == std::stod(text);
          }
        }
      } else {
        same = node.kind == Node::Kind::DateTime && date_time_type(node.text) == t &&
               without_trailing_fraction_zeros(node.text) == without_trailing_fraction_zeros(text);
      }
      return same ? "" : path + ": expected " + t + " " + text + ", got `" + node.text + "`";
    }
    if (node.kind != Node::Kind::Mapping) return path + ": expected a table";
    std::map<std::string, const Node*> seen;
    for (const auto& [key, value] : node.entries) {
      if (!seen.emplace(key.text, &value).second) return path + ": key twice: " + key.text;
    }
    if (seen.size() != object->size()) return path + ": different key count";
    for (const auto& [key, value] : *object) {
      const auto it = seen.find(key);
      if (it == seen.end()) return path + ": missing key " + key;
      if (auto diff = compare(*it->second, value, path + "." + key); !diff.empty()) return diff;
    }
    return "";
  }
  const auto& array = std::get<std::vector<Json>>(expected.v);
  if (node.kind != Node::Kind::Sequence || node.items.size() != array.size()) {
    return path + ": expected an array of " + std::to_string(array.size());
  }
  for (std::size_t i = 0; i < array.size(); ++i) {
    if (auto diff = compare(node.items[i], array[i], path + "[" + std::to_string(i) + "]");
        !diff.empty()) {
      return diff;
    }
  }
  return "";
}

bool valid_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto u = static_cast<unsigned char>(s[i]);
    const std::size_t length = u < 0x80 ? 1 : u >= 0xF0 ? 4 : u >= 0xE0 ? 3 : u >= 0xC2 ? 2 : 0;
    if (length == 0 || i + length > s.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

TEST(TomlConformance, ValidDocumentsReadToTheExpectedValue) {
  const auto cases = listed_cases("valid/");
  if (cases.empty()) GTEST_SKIP() << "toml-test not found under " << kSuite;
  for (const std::string& name : cases) {
    const std::string text = slurp(kSuite / name);
    const auto node = pd::toml::parse(text);
    if (!node) {
      ADD_FAILURE() << name << " refused:\n" << pd::toml::format_error(text, node.error());
      continue;
    }
    const std::string json_name = name.substr(0, name.size() - 5) + ".json";
    const Json expected = JsonReader(slurp(kSuite / json_name)).value();
    if (const std::string diff = compare(*node, expected, "$"); !diff.empty()) {
      ADD_FAILURE() << name << " " << diff;
    }
  }
}

TEST(TomlConformance, InvalidDocumentsAreRefusedWithAPositionedReport) {
  const auto cases = listed_cases("invalid/");
  if (cases.empty()) GTEST_SKIP() << "toml-test not found under " << kSuite;
  for (const std::string& name : cases) {
    const std::string text = slurp(kSuite / name);
    const auto node = pd::toml::parse(text);
    if (node) {
      ADD_FAILURE() << name << " accepted";
      continue;
    }
    const std::string report = pd::toml::format_error(text, node.error());
    EXPECT_TRUE(report.starts_with("TOML parse error at line ")) << name;
    EXPECT_TRUE(valid_utf8(report)) << name;
  }
}

}  // namespace

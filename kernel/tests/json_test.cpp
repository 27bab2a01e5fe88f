#include "quorlen/core/json.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace {

namespace json = quorlen::core::json;
namespace pd = quorlen::core::generated::prompt_definition;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::string parse_error(std::string_view text) {
  auto parsed = json::parse(text);
  return parsed ? "<accepted>" : parsed.error().to_string();
}

// Every y_ document parses and survives a write/parse round trip unchanged; every n_
// document is rejected, by json::parse and by the record reader's node path alike (one
// scanner, the same message); every i_ document is answered one way or the other.
TEST(JsonConformance, ParsingSuite) {
  const std::filesystem::path dir =
      std::filesystem::path(QUORLEN_CONFORMANCE_DIR) / "json-test-suite" / "test_parsing";
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    const std::string text = read_file(entry.path());
    auto parsed = json::parse(text);
    auto as_record = pd::read_json_text(text);
    if (!parsed) {
      ASSERT_FALSE(as_record.has_value()) << name;
      EXPECT_EQ(as_record.error(), parsed.error().to_string()) << name;
    }
    if (name.starts_with("y_")) {
      ASSERT_TRUE(parsed.has_value()) << name << ": " << parsed.error().to_string();
      auto again = json::parse(json::write(*parsed));
      ASSERT_TRUE(again.has_value()) << name;
      EXPECT_EQ(*again, *parsed) << name << " wrote " << json::write(*parsed);
    } else if (name.starts_with("n_")) {
      EXPECT_FALSE(parsed.has_value()) << name << " accepted";
    }
  }
}

TEST(JsonParse, SyntaxErrorsNameTheirPosition) {
  struct Case {
    std::string text;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"", "EOF while parsing a value at line 1 column 0"},
      {"  \n ", "EOF while parsing a value at line 2 column 1"},
      {"[1,", "EOF while parsing a list at line 1 column 3"},
      {"{\"a\":1", "EOF while parsing an object at line 1 column 6"},
      {"{\"a\":", "EOF while parsing a value at line 1 column 5"},
      {"\"abc", "EOF while parsing a string at line 1 column 4"},
      {"nul", "EOF while parsing a value at line 1 column 3"},
      {"[1,]", "trailing comma at line 1 column 4"},
      {"{\"a\":1,\n }", "trailing comma at line 2 column 2"},
      {"[1] x", "trailing characters at line 1 column 5"},
      {"{}\n\n  }", "trailing characters at line 3 column 3"},
      {"[1] // note", "trailing characters at line 1 column 5"},
      {"/* c */ 1", "expected value at line 1 column 1"},
      {"\xEF\xBB\xBF{}", "expected value at line 1 column 1"},
      {"[1 2]", "expected `,` or `]` at line 1 column 4"},
      {"{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
      {"{\"a\" 1}", "expected `:` at line 1 column 6"},
      {"{1:2}", "key must be a string at line 1 column 2"},
      {"{'a':2}", "key must be a string at line 1 column 2"},
      {"[tru]", "expected ident at line 1 column 5"},
      {"[NaN]", "expected value at line 1 column 2"},
      {"[01]", "invalid number at line 1 column 3"},
      {"[-]", "invalid number at line 1 column 3"},
      {"[1.]", "invalid number at line 1 column 4"},
      {"[1e+]", "invalid number at line 1 column 5"},
      {"[+1]", "expected value at line 1 column 2"},
      {"[.5]", "expected value at line 1 column 2"},
      {"[1e400]", "number out of range at line 1 column 2"},
      {"[-1e400]", "number out of range at line 1 column 2"},
      {"\"a\nb\"",
       "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
      {"\"a\tb\"",
       "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
      {"\"\\x\"", "invalid escape at line 1 column 3"},
      {"\"\\u12G4\"", "invalid escape at line 1 column 6"},
      {"\"\\u12", "EOF while parsing a string at line 1 column 5"},
      {"\"\\ud800\"", "lone leading surrogate in hex escape at line 1 column 2"},
      {"\"\\ud800\\u0041\"", "lone leading surrogate in hex escape at line 1 column 2"},
      {"\" \\udc00\"", "lone trailing surrogate in hex escape at line 1 column 3"},
      {"\"\xFF\"", "invalid unicode code point at line 1 column 2"},
      {"\"\xC0\xAF\"", "invalid unicode code point at line 1 column 2"},          // overlong
      {"\"\xED\xA0\x80\"", "invalid unicode code point at line 1 column 2"},      // surrogate
      {"\"\xF4\x90\x80\x80\"", "invalid unicode code point at line 1 column 2"},  // > U+10FFFF
      {"\"\xE2\x82\"", "invalid unicode code point at line 1 column 2"},          // truncated
  };
  for (const auto& c : cases) EXPECT_EQ(parse_error(c.text), c.error) << c.text;
}

// Numbers keep their kind: non-negative integers unsigned, negative ones signed, anything
// beyond 64 bits or with a fraction or exponent a double.
TEST(JsonParse, ValuesAndTheirKinds) {
  struct Case {
    std::string text;
    json::Value expected;
  };
  const std::vector<Case> cases = {
      {"0", json::Value(std::uint64_t{0})},
      {"-0", json::Value(std::uint64_t{0})},
      {"18446744073709551615", json::Value(std::numeric_limits<std::uint64_t>::max())},
      {"18446744073709551616", json::Value(18446744073709551616.0)},
      {"-9223372036854775808", json::Value(std::numeric_limits<std::int64_t>::min())},
      {"-9223372036854775809", json::Value(-9223372036854775809.0)},
      {"1.0", json::Value(1.0)},
      {"-0.0", json::Value(-0.0)},
      {"1E2", json::Value(100.0)},
      {"0.1", json::Value(0.1)},
      {"2.2250738585072011e-308", json::Value(2.2250738585072011e-308)},
      {"1e-400", json::Value(0.0)},
      {" \t\r\n true \n", json::Value(true)},
      {"\"\\u00e9\\ud83d\\ude00\\/\\b\"", json::Value("\xC3\xA9\xF0\x9F\x98\x80/\b")},
      {"\"\\u0000\"", json::Value(std::string(1, '\0'))},
      {"\"\xE2\x82\xAC\"", json::Value("\xE2\x82\xAC")},
      {"{\"a\":1,\"a\":[2]}", json::Value(json::Object{{"a", json::Array{std::uint64_t{2}}}})},
      {"[]", json::Value(json::Array{})},
      {"{}", json::Value(json::Object{})},
  };
  for (const auto& c : cases) {
    auto parsed = json::parse(c.text);
    ASSERT_TRUE(parsed.has_value()) << c.text << ": " << parsed.error().to_string();
    EXPECT_EQ(*parsed, c.expected) << c.text;
    EXPECT_EQ(parsed->v.index(), c.expected.v.index()) << c.text;
    if (auto* d = parsed->get_if<double>()) {
      EXPECT_EQ(std::signbit(*d), std::signbit(c.expected.as<double>())) << c.text;
    }
  }
}

TEST(JsonValue, IntegersCompareByValueAcrossKinds) {
  EXPECT_EQ(json::Value(std::int64_t{5}), json::Value(std::uint64_t{5}));
  EXPECT_EQ(json::Value(json::Array{std::int64_t{0}}), json::Value(json::Array{std::uint64_t{0}}));
  EXPECT_NE(json::Value(std::int64_t{-1}), json::Value(std::numeric_limits<std::uint64_t>::max()));
  EXPECT_NE(json::Value(std::uint64_t{1}), json::Value(1.0));
  EXPECT_NE(json::Value("1"), json::Value(std::uint64_t{1}));
}

TEST(JsonWrite, CompactSortedMinimalEscapes) {
  struct Case {
    json::Value value;
    std::string text;
  };
  const std::vector<Case> cases = {
      {json::Value(
           json::Object{{"b", true}, {"a", json::Value()}, {"B", false}, {"\xC3\xA9", 1.5}}),
       "{\"B\":false,\"a\":null,\"b\":true,\"\xC3\xA9\":1.5}"},
      {json::Value("q\"b\\s/\n\r\t\b\f\x01\x1f\x7f\xC3\xA9"),
       "\"q\\\"b\\\\s/\\n\\r\\t\\b\\f\\u0001\\u001f\x7f\xC3\xA9\""},
      {json::Value(std::string("a\0b", 3)), "\"a\\u0000b\""},
      {json::Value(1.0), "1.0"},
      {json::Value(-0.0), "-0.0"},
      {json::Value(0.1), "0.1"},
      {json::Value(1e300), "1e+300"},
      {json::Value(123456789012345680000.0), "1.2345678901234568e+20"},
      {json::Value(1e16), "1e+16"},
      {json::Value(1234567890123456.0), "1234567890123456.0"},
      {json::Value(0.0001), "0.0001"},
      {json::Value(0.00001), "1e-05"},
      {json::Value(5e-324), "5e-324"},
      {json::Value(std::numeric_limits<double>::quiet_NaN()), "null"},
      {json::Value(-std::numeric_limits<double>::infinity()), "null"},
      {json::Value(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
      {json::Value(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615"},
      {json::Value(json::Array{json::Array{}, json::Object{}, std::int64_t{-3}}), "[[],{},-3]"},
  };
  for (const auto& c : cases) EXPECT_EQ(json::write(c.value), c.text);
}

TEST(JsonParse, NestingIsBoundedWithoutExhaustingTheStack) {
  auto nested = [](std::size_t depth, std::string_view open, std::string_view close) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) text += open;
    if (open.ends_with(':')) text += "0";
    for (std::size_t i = 0; i < depth; ++i) text += close;
    return text;
  };
  const std::size_t limit = json::max_depth;
  EXPECT_TRUE(json::parse(nested(limit, "[", "]")).has_value());
  EXPECT_TRUE(json::parse(nested(limit, "{\"a\":", "}")).has_value());
  const std::string too_deep =
      "recursion limit exceeded at line 1 column " + std::to_string(limit + 1);
  EXPECT_EQ(parse_error(nested(limit + 1, "[", "]")), too_deep);
  EXPECT_EQ(parse_error(std::string(100'000, '[')), too_deep);
  EXPECT_EQ(parse_error(nested(100'000, "[{\"a\":", "}]")),
            "recursion limit exceeded at line 1 column " + std::to_string(limit / 2 * 6 + 1));
  auto record = pd::read_json_text("{\"metadata\":" + std::string(100'000, '['));
  ASSERT_FALSE(record.has_value());
  EXPECT_EQ(record.error(),
            "recursion limit exceeded at line 1 column " + std::to_string(12 + limit));
}

}  // namespace

#include "quorlen/core/generated/prompt_definition/record.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "quorlen/core/generated/prompt_definition/read.hpp"
#include "quorlen/core/json.hpp"

namespace {

namespace json = quorlen::core::json;
using namespace quorlen::core::generated::prompt_definition;

// A definition around one variable or variant, to reach the nested records.
std::string with_variable(std::string_view variable) {
  return R"({"body": "b", "name": "n", "role": "user", "variables": {"v": )" +
         std::string(variable) + "}}";
}
std::string with_variant(std::string_view variant) {
  return R"({"body": "b", "name": "n", "role": "user", "variants": {"v": )" + std::string(variant) +
         "}}";
}
std::string with_field(std::string_view field) {
  return R"({"body": "b", "name": "n", "role": "user", )" + std::string(field) + "}";
}

std::string read_error(std::string_view text) {
  auto read = read_json_text(text);
  return read ? "<accepted>" : read.error();
}

std::string read_written(std::string_view text) {
  auto read = read_json_text(text);
  return read ? json::write(to_json(*read)) : "<rejected: " + read.error() + ">";
}

TEST(RecordRead, AcceptedDefinitionsWriteBackSortedWithDefaultsOmitted) {
  struct Case {
    std::string text;
    std::string written;
  };
  const std::vector<Case> cases = {
      {R"({"role": "user", "name": "g", "body": "Hi"})",
       R"({"body":"Hi","name":"g","role":"user"})"},
      {R"({"body": "Hi", "name": "g", "role": "system", "output_model": null,
           "metadata": {}, "variables": {}, "variants": {}})",
       R"({"body":"Hi","name":"g","role":"system"})"},
      {R"({"body": "", "name": " ", "role": "assistant", "output_model": "pkg.Model"})",
       R"({"body":"","name":" ","output_model":"pkg.Model","role":"assistant"})"},
      {R"({"body": "\u00e9", "name": "\u00e9", "role": "user"})",
       "{\"body\":\"\xC3\xA9\",\"name\":\"\xC3\xA9\",\"role\":\"user\"}"},
      {with_variable(R"({"type": "string", "trusted": true})"),
       R"({"body":"b","name":"n","role":"user","variables":{"v":{"trusted":true,"type":"string","validation_required":false}}})"},
      {with_variable(R"({"description": null, "type": ["string", "null"], "trusted": false})"),
       R"({"body":"b","name":"n","role":"user","variables":{"v":{"trusted":false,"type":["string","null"],"validation_required":false}}})"},
      {with_variable(
           R"({"description": "d", "type": [], "trusted": true, "validation_required": true})"),
       R"({"body":"b","name":"n","role":"user","variables":{"v":{"description":"d","trusted":true,"type":[],"validation_required":true}}})"},
      {with_variable(R"({"type": ["object", "object", "array"], "trusted": true})"),
       R"({"body":"b","name":"n","role":"user","variables":{"v":{"trusted":true,"type":["object","object","array"],"validation_required":false}}})"},
      {with_variable(R"([null, true, "integer"])"),
       R"({"body":"b","name":"n","role":"user","variables":{"v":{"trusted":true,"type":"integer","validation_required":false}}})"},
      {with_variant(R"({"body": "short", "metadata": {"z": [1, {"b": 2, "a": 1}], "a": -1.5}})"),
       R"({"body":"b","name":"n","role":"user","variants":{"v":{"body":"short","metadata":{"a":-1.5,"z":[1,{"a":1,"b":2}]}}}})"},
      {with_variant(R"(["alt"])"),
       R"({"body":"b","name":"n","role":"user","variants":{"v":{"body":"alt"}}})"},
      // Inside the three maps a repeated key replaces the earlier entry.
      {R"({"body": "b", "name": "n", "role": "user",
           "variables": {"x": {"type": "string", "trusted": true},
                         "x": {"type": "number", "trusted": false}},
           "variants": {"s": {"body": "1"}, "s": {"body": "2"}},
           "metadata": {"k": 1, "k": {"k": 1, "k": 2}}})",
       R"({"body":"b","metadata":{"k":{"k":2}},"name":"n","role":"user","variables":{"x":{"trusted":false,"type":"number","validation_required":false}},"variants":{"s":{"body":"2"}}})"},
      // The sequence form: elements in declaration order, trailing optionals defaulted.
      {R"(["Hi", {}, "greet", null, "user"])", R"({"body":"Hi","name":"greet","role":"user"})"},
      {R"(["Hi", {"a": 1}, "greet", "m", "user", {"v": [null, true, "string"]}, {"s": ["x", {}]}])",
       R"({"body":"Hi","metadata":{"a":1},"name":"greet","output_model":"m","role":"user","variables":{"v":{"trusted":true,"type":"string","validation_required":false}},"variants":{"s":{"body":"x"}}})"},
  };
  for (const auto& c : cases) EXPECT_EQ(read_written(c.text), c.written) << c.text;
}

TEST(RecordRead, RuleViolationsGiveOnePositionedMessage) {
  struct Case {
    std::string text;
    std::string error;
  };
  const std::vector<Case> cases = {
      // Required fields are reported in declaration order, at the map's closing brace.
      {"{\n  \"body\": \"Hi\",\n  \"name\": \"g\"\n\n}", "missing field `role` at line 5 column 1"},
      {R"({"role": "user"})", "missing field `body` at line 1 column 16"},
      {R"({"body": "b", "role": "user"})", "missing field `name` at line 1 column 29"},
      {with_variable(R"({"description": "d"})"), "missing field `trusted` at line 1 column 82"},
      {with_variable(R"({"trusted": true})"), "missing field `type` at line 1 column 79"},
      {with_variant(R"({"metadata": {}})"), "missing field `body` at line 1 column 77"},
      // Unknown and duplicate keys are reported at the key, before anything later.
      {R"({"Body": "Hi", "name": "g", "role": "user"})",
       "unknown field `Body`, expected one of `body`, `metadata`, `name`, `output_model`, "
       "`role`, `variables`, `variants` at line 1 column 2"},
      {with_variable(R"({"trusted": true, "type": "string", "default": 1})"),
       "unknown field `default`, expected one of `description`, `trusted`, `type`, "
       "`validation_required` at line 1 column 99"},
      {with_variant(R"({"body": "x", "name": "y"})"),
       "unknown field `name`, expected `body` or `metadata` at line 1 column 76"},
      {R"({"body": "a", "name": "g", "body": "b", "role": "user"})",
       "duplicate field `body` at line 1 column 28"},
      {with_variable(R"({"trusted": true, "trusted": true, "type": "string"})"),
       "duplicate field `trusted` at line 1 column 81"},
      {R"({"role": 5, "Body": 1})",
       "invalid type: integer `5`, expected enum PromptDefinitionRole at line 1 column 10"},
      // The wrong kind of value where a record is expected.
      {R"("abc")",
       "invalid type: string \"abc\", expected struct PromptDefinition at line 1 column 1"},
      {"5", "invalid type: integer `5`, expected struct PromptDefinition at line 1 column 1"},
      {"-1.5",
       "invalid type: floating point `-1.5`, expected struct PromptDefinition at line 1 column 1"},
      {"null", "invalid type: null, expected struct PromptDefinition at line 1 column 1"},
      {"true", "invalid type: boolean `true`, expected struct PromptDefinition at line 1 column 1"},
      {with_variable("\"string\""),
       "invalid type: string \"string\", expected struct PromptVariable at line 1 column 63"},
      {with_variant("null"),
       "invalid type: null, expected struct PromptVariant at line 1 column 62"},
      // Field types.
      {R"({"body": 1, "name": "g", "role": "user"})",
       "invalid type: integer `1`, expected a string at line 1 column 10"},
      {R"({"body": "b", "name": "", "role": "user"})",
       "shorter than 1 characters at line 1 column 23"},
      {R"({"body": "b", "name": null, "role": "user"})",
       "invalid type: null, expected a string at line 1 column 23"},
      {R"({"body": "b", "name": "g", "role": "admin"})",
       "unknown variant `admin`, expected one of `system`, `user`, `assistant` at line 1 column "
       "36"},
      {R"({"body": "b", "name": "g", "role": "User"})",
       "unknown variant `User`, expected one of `system`, `user`, `assistant` at line 1 column 36"},
      {R"({"body": "b", "name": "g", "role": {"user": null}})",
       "invalid type: map, expected enum PromptDefinitionRole at line 1 column 36"},
      {with_field(R"("output_model": 5)"),
       "invalid type: integer `5`, expected a string at line 1 column 60"},
      {with_field(R"("metadata": null)"), "invalid type: null, expected a map at line 1 column 56"},
      {with_field(R"("metadata": [1])"),
       "invalid type: sequence, expected a map at line 1 column 56"},
      {with_field(R"("variables": null)"),
       "invalid type: null, expected a map at line 1 column 57"},
      {with_field(R"("variants": "x")"),
       "invalid type: string \"x\", expected a map at line 1 column 56"},
      {with_variable(R"({"trusted": "true", "type": "string"})"),
       "invalid type: string \"true\", expected a boolean at line 1 column 75"},
      {with_variable(R"({"trusted": true, "type": "string", "validation_required": null})"),
       "invalid type: null, expected a boolean at line 1 column 122"},
      {with_variable(R"({"trusted": 1, "description": 2})"),
       "invalid type: integer `1`, expected a boolean at line 1 column 75"},
      {with_variant(R"({"body": "x", "metadata": null})"),
       "invalid type: null, expected a map at line 1 column 88"},
      // The variable type: the single form, else the list form, else one message.
      {with_variable(R"({"trusted": true, "type": "null"})"),
       "data did not match any variant of untagged enum PromptVariableType at line 1 column 89"},
      {with_variable(R"({"trusted": true, "type": "String"})"),
       "data did not match any variant of untagged enum PromptVariableType at line 1 column 89"},
      {with_variable(R"({"trusted": true, "type": ["string", 5]})"),
       "data did not match any variant of untagged enum PromptVariableType at line 1 column 89"},
      {with_variable(R"({"trusted": true, "type": [["string"]]})"),
       "data did not match any variant of untagged enum PromptVariableType at line 1 column 89"},
      {with_variable(R"({"trusted": true, "type": null})"),
       "data did not match any variant of untagged enum PromptVariableType at line 1 column 89"},
      // An entry that a later one replaces is still read, and fails where it stands.
      {with_field(
           R"("variables": {"x": {"trusted": 1}, "x": {"trusted": true, "type": "string"}})"),
       "invalid type: integer `1`, expected a boolean at line 1 column 75"},
      // The sequence form.
      {R"(["Hi"])",
       "invalid length 2, expected struct PromptDefinition with 7 elements at line 1 column 6"},
      {"[]",
       "invalid length 0, expected struct PromptDefinition with 7 elements at line 1 column 2"},
      {R"(["Hi", {}, "g"])",
       "invalid length 4, expected struct PromptDefinition with 7 elements at line 1 column 15"},
      {R"(["Hi", {}, "g", null, "user", {}, {}, 8])",
       "invalid length 8, expected struct PromptDefinition with 7 elements at line 1 column 39"},
      {R"(["Hi", null, "g", null, "user"])",
       "invalid type: null, expected a map at line 1 column 8"},
      {with_variable("[null]"),
       "invalid length 1, expected struct PromptVariable with 4 elements at line 1 column 68"},
      {with_variable(R"([null, true])"),
       "invalid length 2, expected struct PromptVariable with 4 elements at line 1 column 74"},
      {with_variant("[]"),
       "invalid length 0, expected struct PromptVariant with 2 elements at line 1 column 63"},
      // Syntax errors carry the reader's own message.
      {R"({"body": "Hi", "name": "g", "role": "user"} x)",
       "trailing characters at line 1 column 45"},
      {R"({"body": "Hi", "name": "g", "role": "user",})", "trailing comma at line 1 column 44"},
      {"", "EOF while parsing a value at line 1 column 0"},
  };
  for (const auto& c : cases) EXPECT_EQ(read_error(c.text), c.error) << c.text;
}

// A JSON value carries no positions, and a role of the wrong kind is described against the
// value model's own expectation.
TEST(RecordRead, JsonValueMessagesHaveNoPosition) {
  auto parse = [](std::string_view text) { return *json::parse(text); };
  struct Case {
    std::string value;
    std::string error;
  };
  const std::vector<Case> cases = {
      {R"({"body": "b", "name": "g", "role": 5})",
       "invalid type: integer `5`, expected string or map"},
      {R"({"body": "b", "name": "g", "role": ["user"]})",
       "invalid type: sequence, expected string or map"},
      {R"({"body": "b", "name": "g"})", "missing field `role`"},
      {R"({"body": "b", "name": "", "role": "user"})", "shorter than 1 characters"},
      {R"({"body": "b", "name": "g", "role": "user", "variables": {"v": {"type": "x", "trusted": true}}})",
       "data did not match any variant of untagged enum PromptVariableType"},
      {"18446744073709551615",
       "invalid type: integer `18446744073709551615`, expected struct PromptDefinition"},
  };
  for (const auto& c : cases) {
    auto read = read_json_value(parse(c.value));
    EXPECT_EQ(read ? "<accepted>" : read.error(), c.error) << c.value;
  }
}

TEST(RecordRead, JsonValueNestingIsBounded) {
  json::Value deep;
  for (int i = 0; i < 1000; ++i) deep = json::Value(json::Array{std::move(deep)});
  json::Object definition{{"body", "b"},
                          {"name", "g"},
                          {"role", "user"},
                          {"metadata", json::Object{{"deep", std::move(deep)}}}};
  auto read = read_json_value(json::Value(std::move(definition)));
  ASSERT_FALSE(read.has_value());
  EXPECT_EQ(read.error(), "recursion limit exceeded");
}

PromptDefinition rich_definition() {
  auto name = PromptDefinitionName::parse("greet");
  PromptDefinition definition{
      "Hello {{ who }}", {}, std::move(*name), "pkg.Out", PromptDefinitionRole::Assistant, {}, {}};
  definition.metadata =
      json::Object{{"guard", true},
                   {"n", std::int64_t{-3}},
                   {"u", std::numeric_limits<std::uint64_t>::max()},
                   {"f", 0.1},
                   {"nested", json::Array{json::Value(), "x\n\"", json::Object{{"k", 1.0}}}}};
  definition.variables["who"] =
      PromptVariable{"the addressee", false, {PromptVariableTypeString::String}, true};
  definition.variables["tags"] = PromptVariable{
      std::nullopt,
      true,
      {std::vector{PromptVariableTypeArrayItem::Array, PromptVariableTypeArrayItem::Null}},
      false};
  definition.variables["empty"] =
      PromptVariable{std::nullopt, true, {std::vector<PromptVariableTypeArrayItem>{}}, false};
  definition.variants["short"] = PromptVariant{"Hi {{ who }}", json::Object{{"a", "b"}}};
  definition.variants["plain"] = PromptVariant{"Hi", {}};
  return definition;
}

TEST(RecordWrite, ReadingTheWrittenValueOrTextGivesAnEqualRecord) {
  for (const PromptDefinition& definition :
       {rich_definition(), *read_json_text(R"({"body": "", "name": "x", "role": "system"})")}) {
    json::Value written = to_json(definition);
    auto from_value = read_json_value(written);
    ASSERT_TRUE(from_value.has_value()) << from_value.error();
    EXPECT_EQ(*from_value, definition);
    auto from_text = read_json_text(json::write(written));
    ASSERT_TRUE(from_text.has_value()) << from_text.error();
    EXPECT_EQ(*from_text, definition);
  }
}

TEST(RecordWrite, OutputIsIndependentOfInsertionOrder) {
  PromptDefinition forward = rich_definition();
  PromptDefinition backward = rich_definition();
  std::vector<std::string> names;
  for (int i = 0; i < 64; ++i) names.push_back("v" + std::to_string(i));
  for (const auto& name : names) forward.variables[name] = PromptVariable{};
  for (auto it = names.rbegin(); it != names.rend(); ++it)
    backward.variables[*it] = PromptVariable{};
  const std::string text = json::write(to_json(forward));
  EXPECT_EQ(text, json::write(to_json(backward)));
  EXPECT_EQ(json::write(to_json(forward.variables)), json::write(to_json(backward.variables)));
  // Names in byte order, not numeric or insertion order.
  EXPECT_LT(text.find("\"v10\""), text.find("\"v2\""));
  EXPECT_LT(text.find("\"v63\""), text.find("\"who\""));
}

TEST(RecordName, AtLeastOneCharacterUntrimmed) {
  for (std::string text : {" ", "\xC3\xA9", "\t", "a b "}) {
    auto name = PromptDefinitionName::parse(text);
    ASSERT_TRUE(name.has_value()) << text;
    EXPECT_EQ(name->str(), text);
  }
  auto empty = PromptDefinitionName::parse("");
  ASSERT_FALSE(empty.has_value());
  EXPECT_EQ(empty.error().to_string(), "shorter than 1 characters");
}

}  // namespace

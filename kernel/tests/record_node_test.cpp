// The record rules over node trees as the YAML and TOML readers build them: untyped
// scalars resolved by context, tags, date-times and positions of the node at fault.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "quorlen/core/generated/prompt_definition/node.hpp"
#include "quorlen/core/generated/prompt_definition/read.hpp"
#include "quorlen/core/json.hpp"

namespace {

namespace json = quorlen::core::json;
using namespace quorlen::core::generated::prompt_definition;

constexpr std::string_view kBoolTag = "tag:yaml.org,2002:bool";
constexpr std::string_view kStrTag = "tag:yaml.org,2002:str";

Node scalar(std::string text, bool plain = true, std::string_view tag = {}) {
  Node node;
  node.kind = Node::Kind::Scalar;
  node.text = std::move(text);
  node.plain = plain;
  node.tag = std::string(tag);
  return node;
}
Node quoted(std::string text) { return scalar(std::move(text), false); }
Node at(Node node, std::uint32_t line, std::uint32_t column) {
  node.mark = node.end = Mark{line, column, 0};
  return node;
}
Node seq(std::vector<Node> items) {
  Node node;
  node.kind = Node::Kind::Sequence;
  node.items = std::move(items);
  return node;
}
Node map(std::vector<std::pair<std::string, Node>> entries) {
  Node node;
  node.kind = Node::Kind::Mapping;
  for (auto& [key, value] : entries) node.entries.emplace_back(scalar(key), std::move(value));
  return node;
}
Node datetime(std::string text) {
  Node node;
  node.kind = Node::Kind::DateTime;
  node.text = std::move(text);
  return node;
}

// A definition with `field` set to `value` beside plain body, name and role.
Node definition_with(std::string field, Node value) {
  std::vector<std::pair<std::string, Node>> entries = {
      {"body", scalar("b")}, {"name", scalar("n")}, {"role", scalar("user")}};
  std::erase_if(entries, [&](const auto& entry) { return entry.first == field; });
  entries.emplace_back(std::move(field), std::move(value));
  return map(std::move(entries));
}
Node variable_with(std::string field, Node value) {
  std::vector<std::pair<std::string, Node>> entries = {{"trusted", scalar("true")},
                                                       {"type", scalar("string")}};
  std::erase_if(entries, [&](const auto& entry) { return entry.first == field; });
  entries.emplace_back(std::move(field), std::move(value));
  return definition_with("variables", map({{"v", map(std::move(entries))}}));
}

std::string outcome(const Node& root) {
  auto read = read_definition(root, Source::Text);
  return read ? json::write(to_json(*read)) : "error: " + read.error().message;
}

TEST(RecordNodes, ScalarsAreTypedByWhatTheFieldExpects) {
  struct Case {
    std::string what;
    Node root;
    std::string outcome;
  };
  const std::string base = R"({"body":"b","name":"n","role":"user")";
  auto variable = [&](std::string fields) {
    return base + R"(,"variables":{"v":{)" + fields + "}}}";
  };
  std::vector<Case> cases;
  // Where text is expected any scalar is taken literally.
  cases.push_back({"number as name", definition_with("name", scalar("007")),
                   R"({"body":"b","name":"007","role":"user"})"});
  cases.push_back({"boolean as body", definition_with("body", scalar("true")),
                   R"({"body":"true","name":"n","role":"user"})"});
  cases.push_back({"tagged int as name",
                   definition_with("name", scalar("5", true, "tag:yaml.org,2002:int")),
                   R"({"body":"b","name":"5","role":"user"})"});
  cases.push_back(
      {"empty name", definition_with("name", scalar("")), "error: shorter than 1 characters"});
  cases.push_back({"null form as body", definition_with("body", scalar("~")),
                   R"({"body":"~","name":"n","role":"user"})"});
  cases.push_back({"datetime as body", definition_with("body", datetime("1979-05-27T07:32:00Z")),
                   "error: invalid type: datetime `1979-05-27T07:32:00Z`, expected a string"});
  // None only from the plain null forms (or a null tag); quoted text stays text.
  for (std::string form : {"", "~", "null", "Null", "NULL"}) {
    cases.push_back({"plain " + form, definition_with("output_model", scalar(form)), base + "}"});
  }
  cases.push_back({"null tag",
                   definition_with("output_model", scalar("", false, "tag:yaml.org,2002:null")),
                   base + "}"});
  cases.push_back({"quoted ~", definition_with("output_model", quoted("~")),
                   R"({"body":"b","name":"n","output_model":"~","role":"user"})"});
  cases.push_back({"nULL is text", definition_with("output_model", scalar("nULL")),
                   R"({"body":"b","name":"n","output_model":"nULL","role":"user"})"});
  // Booleans only from the six plain forms or a bool tag.
  cases.push_back({"True", variable_with("trusted", scalar("True")),
                   variable(R"("trusted":true,"type":"string","validation_required":false)")});
  cases.push_back({"FALSE", variable_with("validation_required", scalar("FALSE")),
                   variable(R"("trusted":true,"type":"string","validation_required":false)")});
  cases.push_back({"bool tag", variable_with("trusted", scalar("false", false, kBoolTag)),
                   variable(R"("trusted":false,"type":"string","validation_required":false)")});
  cases.push_back({"quoted true", variable_with("trusted", quoted("true")),
                   "error: invalid type: string \"true\", expected a boolean"});
  cases.push_back({"yes", variable_with("trusted", scalar("yes")),
                   "error: invalid type: string \"yes\", expected a boolean"});
  cases.push_back({"1", variable_with("trusted", scalar("1")),
                   "error: invalid type: integer `1`, expected a boolean"});
  cases.push_back({"~", variable_with("trusted", scalar("~")),
                   "error: invalid type: null, expected a boolean"});
  cases.push_back({"str tag", variable_with("trusted", scalar("true", true, kStrTag)),
                   "error: invalid type: string \"true\", expected a boolean"});
  cases.push_back({"bool tag on yes", variable_with("trusted", scalar("yes", true, kBoolTag)),
                   "error: invalid type: string \"yes\", expected a boolean"});
  // The variable type is matched as an untyped value.
  cases.push_back({"plain type", variable_with("type", scalar("integer")),
                   variable(R"("trusted":true,"type":"integer","validation_required":false)")});
  cases.push_back(
      {"quoted null item", variable_with("type", seq({scalar("string"), quoted("null")})),
       variable(R"("trusted":true,"type":["string","null"],"validation_required":false)")});
  cases.push_back({"str-tagged null item",
                   variable_with("type", seq({scalar("null", true, kStrTag)})),
                   variable(R"("trusted":true,"type":["null"],"validation_required":false)")});
  cases.push_back({"plain null item",
                   variable_with("type", seq({scalar("string"), scalar("null")})),
                   "error: data did not match any variant of untagged enum PromptVariableType"});
  cases.push_back({"plain null", variable_with("type", scalar("null")),
                   "error: data did not match any variant of untagged enum PromptVariableType"});
  // The role is text too.
  cases.push_back({"quoted role", definition_with("role", quoted("assistant")),
                   R"({"body":"b","name":"n","role":"assistant"})"});
  cases.push_back({"numeric role", definition_with("role", scalar("5")),
                   "error: unknown variant `5`, expected one of `system`, `user`, `assistant`"});
  cases.push_back({"sequence role", definition_with("role", seq({})),
                   "error: invalid type: sequence, expected enum PromptDefinitionRole"});
  // Metadata keeps the core schema's typing; keys are taken literally.
  cases.push_back(
      {"metadata typing",
       definition_with("metadata", map({{"a", scalar("1")},
                                        {"b", scalar("yes")},
                                        {"c", quoted("1")},
                                        {"d", scalar("~")},
                                        {"e", scalar("0x1F")},
                                        {"f", scalar("-.inf")},
                                        {"g", scalar("1.5")},
                                        {"h", scalar("007")},
                                        {"i", seq({scalar("TRUE"), scalar("0o17"), scalar("-2")})},
                                        {"j", scalar("5", true, kStrTag)},
                                        {"k", scalar("1", true, "tag:yaml.org,2002:float")},
                                        {"l", datetime("1979-05-27")},
                                        {"1", scalar("x")}})),
       R"({"body":"b","metadata":{"1":"x","a":1,"b":"yes","c":"1","d":null,"e":31,"f":null,"g":1.5,"h":7,"i":[true,15,-2],"j":"5","k":1.0,"l":"1979-05-27"},"name":"n","role":"user"})"});
  cases.push_back(
      {"mismatched tag",
       definition_with("metadata", map({{"a", scalar("x", true, "tag:yaml.org,2002:int")}})),
       "error: invalid value `x` for a scalar tagged as an integer"});
  cases.push_back({"null metadata", definition_with("metadata", scalar("")),
                   "error: invalid type: null, expected a map"});

  for (const auto& c : cases) EXPECT_EQ(outcome(c.root), c.outcome) << c.what;
}

// The mark is the node at fault: the key for unknown and duplicate fields, the map's end
// for a missing field, the value otherwise.
TEST(RecordNodes, ErrorsCarryTheMarkOfTheNodeAtFault) {
  struct Case {
    std::string what;
    Node root;
    std::string message;
    std::uint32_t line;
    std::uint32_t column;
  };
  auto marked_map = [](std::vector<std::pair<Node, Node>> entries) {
    Node node;
    node.kind = Node::Kind::Mapping;
    node.entries = std::move(entries);
    node.mark = Mark{1, 1, 0};
    node.end = Mark{9, 4, 0};
    return node;
  };
  std::vector<Case> cases;
  cases.push_back({"missing", marked_map({{at(scalar("body"), 2, 1), at(scalar("b"), 2, 7)}}),
                   "missing field `name`", 9, 4});
  cases.push_back({"unknown", marked_map({{at(scalar("bdy"), 3, 2), at(scalar("b"), 3, 7)}}),
                   "unknown field `bdy`, expected one of `body`, `metadata`, `name`, "
                   "`output_model`, `role`, `variables`, `variants`",
                   3, 2});
  cases.push_back({"duplicate",
                   marked_map({{at(scalar("body"), 2, 1), at(scalar("b"), 2, 7)},
                               {at(scalar("body"), 4, 3), at(scalar("b"), 4, 9)}}),
                   "duplicate field `body`", 4, 3});
  cases.push_back({"value", marked_map({{at(scalar("name"), 2, 1), at(scalar(""), 2, 7)}}),
                   "shorter than 1 characters", 2, 7});
  cases.push_back({"non-text key", marked_map({{at(seq({}), 5, 3), at(scalar("b"), 5, 9)}}),
                   "invalid type: sequence, expected field identifier", 5, 3});
  cases.push_back({"metadata key",
                   marked_map({{at(scalar("metadata"), 2, 1),
                                [] {
                                  Node m = at(map({}), 2, 11);
                                  m.entries.emplace_back(at(map({}), 3, 5), scalar("x"));
                                  return m;
                                }()}}),
                   "invalid type: map, expected a string", 3, 5});
  for (const auto& c : cases) {
    auto read = read_definition(c.root, Source::Text);
    ASSERT_FALSE(read.has_value()) << c.what;
    EXPECT_EQ(read.error().message, c.message) << c.what;
    EXPECT_EQ(read.error().mark.line, c.line) << c.what;
    EXPECT_EQ(read.error().mark.column, c.column) << c.what;
  }
}

TEST(CoreSchema, PlainScalarsResolve) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::string text;
    json::Value expected;
  };
  const std::vector<Case> cases = {
      {"", json::Value()},
      {"~", json::Value()},
      {"null", json::Value()},
      {"NULL", json::Value()},
      {"nULL", json::Value("nULL")},
      {"true", json::Value(true)},
      {"False", json::Value(false)},
      {"tRUE", json::Value("tRUE")},
      {"yes", json::Value("yes")},
      {"off", json::Value("off")},
      {"0", json::Value(std::uint64_t{0})},
      {"-0", json::Value(std::uint64_t{0})},
      {"+5", json::Value(std::uint64_t{5})},
      {"-5", json::Value(std::int64_t{-5})},
      {"007", json::Value(std::uint64_t{7})},
      {"0o17", json::Value(std::uint64_t{15})},
      {"0x1f", json::Value(std::uint64_t{31})},
      {"0xFFFFFFFFFFFFFFFF", json::Value(std::numeric_limits<std::uint64_t>::max())},
      {"-9223372036854775808", json::Value(std::numeric_limits<std::int64_t>::min())},
      {"99999999999999999999", json::Value(1e20)},
      {"0x10000000000000000", json::Value("0x10000000000000000")},
      {"0o8", json::Value("0o8")},
      {"0x", json::Value("0x")},
      {"0X1F", json::Value("0X1F")},
      {"1_000", json::Value("1_000")},
      {"1.5", json::Value(1.5)},
      {".5", json::Value(0.5)},
      {"-.5", json::Value(-0.5)},
      {"1.", json::Value(1.0)},
      {"1e3", json::Value(1000.0)},
      {"+1.5E-2", json::Value(0.015)},
      {"1e400", json::Value(inf)},
      {".inf", json::Value(inf)},
      {"-.Inf", json::Value(-inf)},
      {".", json::Value(".")},
      {"-", json::Value("-")},
      {"e5", json::Value("e5")},
      {"1e", json::Value("1e")},
      {"1.5.2", json::Value("1.5.2")},
      {"inf", json::Value("inf")},
      {".nan.", json::Value(".nan.")},
      {" 1", json::Value(" 1")},
  };
  for (const auto& c : cases) {
    json::Value resolved = resolve_core_schema(c.text);
    EXPECT_EQ(resolved, c.expected) << c.text;
    EXPECT_EQ(resolved.v.index(), c.expected.v.index()) << c.text;
  }
  for (std::string nan : {".nan", ".NaN", ".NAN"}) {
    json::Value resolved = resolve_core_schema(nan);
    ASSERT_TRUE(resolved.is<double>()) << nan;
    EXPECT_TRUE(std::isnan(resolved.as<double>())) << nan;
  }
}

TEST(NodeToJson, CollectionsAndKeys) {
  Node mapping = map({{"b", seq({scalar("1"), quoted("1"), datetime("07:32:00")})},
                      {"a", scalar("x")},
                      {"a", scalar("y")}});
  auto value = to_json(mapping);
  ASSERT_TRUE(value.has_value()) << value.error();
  EXPECT_EQ(json::write(*value), R"({"a":"y","b":[1,"1","07:32:00"]})");

  Node bad = map({});
  bad.entries.emplace_back(seq({}), scalar("x"));
  auto failed = to_json(bad);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error(), "invalid type: sequence, expected a string");
}

}  // namespace

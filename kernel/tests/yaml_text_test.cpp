// Definitions read from YAML text: how scalars are typed by where they stand, the one-document
// rule, and the position every failure carries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quorlen/core/generated/prompt_definition/read.hpp"
#include "quorlen/core/json.hpp"

namespace pd = quorlen::core::generated::prompt_definition;
namespace json = quorlen::core::json;

namespace {

constexpr const char* kHead = "body: Hi\nname: g\nrole: user\n";

std::string with_head(std::string_view rest) { return kHead + std::string(rest); }

struct ReadCase {
  std::string yaml;
  std::string json;  // the record written back, compact with sorted keys
};

TEST(YamlText, ScalarsAreTypedByTheFieldTheyFill) {
  const std::vector<ReadCase> cases = {
      // Text fields take any scalar literally.
      {"name: 007\nbody: true\nrole: user\n", R"({"body":"true","name":"007","role":"user"})"},
      {"name: 1.50\nbody: ~\nrole: user\n", R"({"body":"~","name":"1.50","role":"user"})"},
      {"name: g\nbody:\nrole: user\n", R"({"body":"","name":"g","role":"user"})"},
      {"name: g\nbody: |\n  line one\n  line two\nrole: user\n",
       R"({"body":"line one\nline two\n","name":"g","role":"user"})"},
      // None only from the plain null forms; quoted, they are text.
      {with_head("output_model: ~\n"), R"({"body":"Hi","name":"g","role":"user"})"},
      {with_head("output_model:\n"), R"({"body":"Hi","name":"g","role":"user"})"},
      {with_head("output_model: NULL\n"), R"({"body":"Hi","name":"g","role":"user"})"},
      {with_head("output_model: \"~\"\n"),
       R"({"body":"Hi","name":"g","output_model":"~","role":"user"})"},
      {with_head("output_model: 'null'\n"),
       R"({"body":"Hi","name":"g","output_model":"null","role":"user"})"},
      {with_head("variables: {x: {type: string, trusted: true, description: Null}}\n"),
       R"({"body":"Hi","name":"g","role":"user","variables":{"x":{"trusted":true,"type":"string","validation_required":false}}})"},
      // Booleans from the six plain forms or an explicit tag.
      {with_head("variables: {x: {type: string, trusted: True, validation_required: FALSE}}\n"),
       R"({"body":"Hi","name":"g","role":"user","variables":{"x":{"trusted":true,"type":"string","validation_required":false}}})"},
      {with_head("variables: {x: {type: string, trusted: !!bool \"true\"}}\n"),
       R"({"body":"Hi","name":"g","role":"user","variables":{"x":{"trusted":true,"type":"string","validation_required":false}}})"},
      // Metadata and `type` follow the core schema: `yes` is a string, `null` a null.
      {with_head("metadata: {a: 1, b: yes, c: -1.5e3, d: ~, e: 0x1F, f: '2', g: [on, .inf]}\n"),
       R"({"body":"Hi","metadata":{"a":1,"b":"yes","c":-1500.0,"d":null,"e":31,"f":"2","g":["on",null]},"name":"g","role":"user"})"},
      {with_head("variables: {x: {type: [string, \"null\"], trusted: false}}\n"),
       R"({"body":"Hi","name":"g","role":"user","variables":{"x":{"trusted":false,"type":["string","null"],"validation_required":false}}})"},
      // The sequence form, with a plain null where metadata may default.
      {"[Hi, {}, greet, null, user]", R"({"body":"Hi","name":"greet","role":"user"})"},
      // Later entries win inside the name-keyed maps.
      {with_head("metadata: {k: 1, k: 2}\nvariants: {v: {body: a}, v: {body: b}}\n"),
       R"({"body":"Hi","metadata":{"k":2},"name":"g","role":"user","variants":{"v":{"body":"b"}}})"},
      // Aliases share one declaration between variables.
      {with_head("variables:\n  a: &v {type: string, trusted: true}\n  b: *v\n"),
       R"({"body":"Hi","name":"g","role":"user","variables":{"a":{"trusted":true,"type":"string","validation_required":false},"b":{"trusted":true,"type":"string","validation_required":false}}})"},
      {"\xEF\xBB\xBF" + std::string(kHead), R"({"body":"Hi","name":"g","role":"user"})"},
      {"# a prompt\n---\nbody: Hi\nname: g\nrole: user\n...\n",
       R"({"body":"Hi","name":"g","role":"user"})"},
  };
  for (const auto& c : cases) {
    auto definition = pd::read_yaml_text(c.yaml);
    ASSERT_TRUE(definition) << c.yaml << "\n" << definition.error();
    EXPECT_EQ(json::write(pd::to_json(*definition)), c.json) << c.yaml;
  }
}

struct FailCase {
  std::string yaml;
  std::string message;  // exactly, position included
};

TEST(YamlText, FailuresNameTheFirstProblemAndWhereItIs) {
  const std::vector<FailCase> cases = {
      {"", "EOF while parsing a value"},
      {"# nothing but a comment\n", "EOF while parsing a value"},
      {std::string(kHead) + "---\n" + kHead,
       "deserializing from YAML containing more than one document is not supported"},
      // The document count is decided before the first document's record rules run.
      {"name: g\n---\n" + std::string(kHead),
       "deserializing from YAML containing more than one document is not supported"},
      {with_head("variables: {x: {type: string, trusted: \"true\"}}\n"),
       "invalid type: string \"true\", expected a boolean at line 4 column 40"},
      {with_head("variables: {x: {type: string, trusted: yes}}\n"),
       "invalid type: string \"yes\", expected a boolean at line 4 column 40"},
      {with_head("variables: {x: {type: [string, null], trusted: true}}\n"),
       "data did not match any variant of untagged enum PromptVariableType at line 4 column "
       "23"},
      {"name:\nbody: Hi\nrole: user\n", "shorter than 1 characters at line 1 column 6"},
      {"name: g\nbody: Hi\n", "missing field `role` at line 3 column 1"},
      {with_head("name: h\n"), "duplicate field `name` at line 4 column 1"},
      {with_head("metadata: ~\n"), "invalid type: null, expected a map at line 4 column 11"},
      {"name: [g\nbody: Hi\n",
       "while parsing a flow sequence, did not find expected ',' or ']' at line 2 column 5"},
      {with_head("meta: {a: *x}\n"), "unknown anchor `x` at line 4 column 11"},
      {std::string("name: g\0\n", 9), "control characters are not allowed (#x0) at line 1 column 8"},
  };
  for (const auto& c : cases) {
    auto definition = pd::read_yaml_text(c.yaml);
    ASSERT_FALSE(definition) << c.yaml;
    EXPECT_EQ(definition.error(), c.message) << c.yaml;
  }
}

}  // namespace

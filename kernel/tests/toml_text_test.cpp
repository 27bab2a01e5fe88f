// Definitions written in TOML: what reads, and the positioned report of what does not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace pd = quorlen::core::generated::prompt_definition;
namespace json = quorlen::core::json;

namespace {

constexpr std::string_view kDefinition = R"(name = "support_reply"
role = "assistant"
output_model = "app.models.Reply"
body = """
Answer {{ question }} about {{ product }}."""

[metadata]
owner = "support"
version = 3
ratio = 0.5
reviewed = 2024-05-01T10:00:00z
day = 2024-05-01
tags = ["a", 1, true]
limits = { max_tokens = 800 }

[variables.question]
type = "string"
trusted = false
validation_required = true
description = "verbatim"

[variables.product]
type = ["string", "null"]
trusted = true

[variants.short]
body = "{{ question }}?"
metadata.purpose = "sms"

[variants.formal]
body = "Dear customer: {{ question }}"
)";

TEST(TomlText, ReadsATypicalDefinition) {
  auto read = pd::read_toml_text(kDefinition);
  ASSERT_TRUE(read) << read.error();
  const pd::PromptDefinition& d = *read;
  EXPECT_EQ(d.name.str(), "support_reply");
  EXPECT_EQ(d.role, pd::PromptDefinitionRole::Assistant);
  EXPECT_EQ(d.output_model, "app.models.Reply");
  EXPECT_EQ(d.body, "Answer {{ question }} about {{ product }}.");

  // Date-times have no JSON counterpart: metadata holds them as RFC 3339 strings.
  const json::Object expected_metadata = {
      {"owner", "support"},
      {"version", std::int64_t{3}},
      {"ratio", 0.5},
      {"reviewed", "2024-05-01T10:00:00Z"},
      {"day", "2024-05-01"},
      {"tags", json::Array{"a", std::int64_t{1}, true}},
      {"limits", json::Object{{"max_tokens", std::int64_t{800}}}},
  };
  EXPECT_EQ(d.metadata, expected_metadata);

  const pd::PromptVariable question{"verbatim", false,
                                    {pd::PromptVariableTypeString::String}, true};
  const pd::PromptVariable product{
      std::nullopt, true,
      {std::vector{pd::PromptVariableTypeArrayItem::String, pd::PromptVariableTypeArrayItem::Null}},
      false};
  EXPECT_EQ(d.variables.size(), 2u);
  EXPECT_EQ(d.variables.at("question"), question);
  EXPECT_EQ(d.variables.at("product"), product);
  EXPECT_EQ(d.variants.size(), 2u);
  EXPECT_EQ(d.variants.at("short"), (pd::PromptVariant{"{{ question }}?", {{"purpose", "sms"}}}));
  EXPECT_EQ(d.variants.at("formal").body, "Dear customer: {{ question }}");
}

TEST(TomlText, InlineTablesServeAsWell) {
  auto read = pd::read_toml_text(
      "body = 'Hi {{ who }}'\nname = 'g'\nrole = 'user'\n"
      "variables = { who = { type = 'string', trusted = true } }\n"
      "variants = {\n  short = { body = 'Hi' },\n}\n");
  ASSERT_TRUE(read) << read.error();
  EXPECT_TRUE(read->variables.at("who").trusted);
  EXPECT_EQ(read->variants.at("short").body, "Hi");
}

struct ReportCase {
  const char* what;
  std::string text;
  std::string report;
};

TEST(TomlText, FailuresCarryThePositionedReport) {
  const std::vector<ReportCase> cases = {
      {"a missing field points at the document as a whole", "body = 'b'\nname = 'x'\n",
       "TOML parse error at line 1, column 1\n"
       "  |\n"
       "1 | body = 'b'\n"
       "  | ^\n"
       "missing field `role`"},
      {"a missing field of a variable points at its header",
       "body = 'b'\nname = 'x'\nrole = 'user'\n[variables.topic]\ntype = 'string'\n",
       "TOML parse error at line 4, column 1\n"
       "  |\n"
       "4 | [variables.topic]\n"
       "  | ^^^^^^^^^^^^^^^^^\n"
       "missing field `trusted`"},
      {"a missing field of an inline table underlines the table",
       "body = 'b'\nname = 'x'\nrole = 'user'\nvariants.v = { metadata = {} }\n",
       "TOML parse error at line 4, column 14\n"
       "  |\n"
       "4 | variants.v = { metadata = {} }\n"
       "  |              ^^^^^^^^^^^^^^^^^\n"
       "missing field `body`"},
      {"an unknown field underlines the key", "body = 'b'\nBody = 'c'\n",
       "TOML parse error at line 2, column 1\n"
       "  |\n"
       "2 | Body = 'c'\n"
       "  | ^^^^\n"
       "unknown field `Body`, expected one of `body`, `metadata`, `name`, `output_model`, "
       "`role`, `variables`, `variants`"},
      {"an integer where text is expected", "body = 'b'\nname = 5\n",
       "TOML parse error at line 2, column 8\n"
       "  |\n"
       "2 | name = 5\n"
       "  |        ^\n"
       "invalid type: integer `5`, expected a string"},
      {"a date-time where text is expected", "body = 1979-05-27 07:32:00\n",
       "TOML parse error at line 1, column 8\n"
       "  |\n"
       "1 | body = 1979-05-27 07:32:00\n"
       "  |        ^^^^^^^^^^\n"
       "invalid type: datetime `1979-05-27T07:32:00`, expected a string"},
      {"a string where a boolean is expected", "[variables.v]\ntrusted = \"true\"\n",
       "TOML parse error at line 2, column 11\n"
       "  |\n"
       "2 | trusted = \"true\"\n"
       "  |           ^^^^^^\n"
       "invalid type: string \"true\", expected a boolean"},
      {"a role outside the three", "role = 'admin'\n",
       "TOML parse error at line 1, column 8\n"
       "  |\n"
       "1 | role = 'admin'\n"
       "  |        ^^^^^^^\n"
       "unknown variant `admin`, expected one of `system`, `user`, `assistant`"},
      {"a table of variables defined twice fails in the reader, before the record rules",
       "[variables.topic]\nbogus = 1\n[variables.topic]\n",
       "TOML parse error at line 3, column 12\n"
       "  |\n"
       "3 | [variables.topic]\n"
       "  |            ^^^^^\n"
       "duplicate key `topic`"},
  };
  for (const auto& c : cases) {
    auto read = pd::read_toml_text(c.text);
    ASSERT_FALSE(read) << c.what;
    EXPECT_EQ(read.error(), c.report) << c.what;
  }
}

TEST(TomlText, RecordRulesApplyToTomlValues) {
  struct Case {
    const char* what;
    std::string_view text;
    const char* message_end;  // the report's last line
  };
  const std::vector<Case> cases = {
      {"an empty name", "body = 'b'\nname = ''\nrole = 'user'", "shorter than 1 characters"},
      {"a type name in the wrong case", "[variables.v]\ntrusted = true\ntype = 'String'",
       "data did not match any variant of untagged enum PromptVariableType"},
      {"variables written as an array of tables", "[[variables]]\ntype = 'string'",
       "invalid type: sequence, expected a map"},
      {"metadata that is not a table", "metadata = 5", "invalid type: integer `5`, expected a map"},
      {"an unknown field inside a variant", "[variants.v]\nbody = 'x'\nrole = 'user'",
       "unknown field `role`, expected `body` or `metadata`"},
  };
  for (const auto& c : cases) {
    auto read = pd::read_toml_text(c.text);
    ASSERT_FALSE(read) << c.what;
    EXPECT_TRUE(read.error().ends_with("\n" + std::string(c.message_end)))
        << c.what << "\n" << read.error();
  }
}

}  // namespace

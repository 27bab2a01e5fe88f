#include "quorlen/consumer/prompt.hpp"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fixtures.hpp"

namespace quorlen::consumer {
namespace {

using testing::for_each_map_order;
using testing::only_row;
using testing::variable;

PromptDefinition definition(std::string body, const std::vector<std::string>& declared,
                            const std::vector<std::pair<std::string, std::string>>& variants) {
  PromptDefinition d{std::move(body), {}, *PromptDefinitionName::parse("greet"),
                     std::nullopt,    PromptDefinitionRole::User, {}, {}};
  for (const std::string& name : declared) d.variables.emplace(name, variable(true));
  for (const auto& [name, text] : variants) d.variants.emplace(name, PromptVariant{text, {}});
  return d;
}

std::string undeclared(std::string_view name, std::string_view variant) {
  return "template references undeclared variable `" + std::string(name) + "` (variant `" +
         std::string(variant) + "`); add it to the prompt's `variables`";
}

const FieldError kReserved{"variant", "undefined_variable",
                           "variant `default` uses the reserved name for the root body; rename "
                           "it or move its body to the root"};
const FieldError kParse{"template", "parse", "template parse error"};
const FieldError kExcluded{"template", "excluded_feature", "template uses an excluded feature"};

struct ConstructionCase {
  std::string label;
  std::string body;
  std::vector<std::string> declared;
  std::vector<std::pair<std::string, std::string>> variants;
  std::optional<FieldError> row;  // none: construction succeeds
};

TEST(PromptCreate, InvariantsAndTheirRows) {
  const std::vector<ConstructionCase> cases = {
      {"reserved variant name is checked before any body is analysed",
       "{{ broken", {}, {{"default", "{{ also_undeclared }}"}}, kReserved},
      {"a variant differing from the reserved name only in case is ordinary",
       "Hi", {}, {{"Default", "Hello"}}, std::nullopt},
      {"root body reads an undeclared variable",
       "Hello {{ name }}!", {}, {},
       FieldError{"name", "undefined_variable", undeclared("name", "default")}},
      {"of several undeclared roots the first in byte order is reported",
       "{{ zeta }} {{ alpha }} {{ Beta }}", {"alpha"}, {},
       FieldError{"Beta", "undefined_variable", undeclared("Beta", "default")}},
      {"declared names compare byte for byte", "{{ name }}", {"Name"}, {},
       FieldError{"name", "undefined_variable", undeclared("name", "default")}},
      {"a root body that does not parse keeps no diagnostic", "Hello {{ name", {"name"}, {},
       kParse},
      {"excluded statement", "{% include 'header' %}", {}, {}, kExcluded},
      {"globals, loop and locally bound names need no declaration",
       "{% set greeting = 'Hi' %}{{ greeting }} {{ range(3) | list }} {{ dict(a=1) }}"
       "{% for item in items %}{{ loop.index }}{{ item }}{% endfor %}",
       {"items"}, {}, std::nullopt},
      {"declared but unused variables are fine", "Hi", {"unused", "other"}, {}, std::nullopt},
      {"an empty body has no roots", "", {}, {}, std::nullopt},
      {"a variant body reads an undeclared variable", "Hi {{ who }}", {"who"},
       {{"formal", "Dear {{ title }} {{ who }}"}},
       FieldError{"title", "undefined_variable", undeclared("title", "formal")}},
      {"a variant that does not parse", "Hi", {}, {{"formal", "{% if %}"}}, kParse},
      {"a variant with an excluded statement", "Hi", {}, {{"m", "{% macro m() %}{% endmacro %}"}},
       kExcluded},
      {"the root body is reported before any variant", "{{ a }}", {},
       {{"A", "{{ b"}, {"0", "{{ c }}"}},
       FieldError{"a", "undefined_variable", undeclared("a", "default")}},
      {"failing variants are examined in byte order of their names", "Hi", {},
       {{"b", "{{ x }}"}, {"a", "{{ y"}, {"B", "{{ z }}"}},
       FieldError{"z", "undefined_variable", undeclared("z", "B")}},
  };
  for (const ConstructionCase& c : cases) {
    SCOPED_TRACE(c.label);
    auto prompt = Prompt::create(definition(c.body, c.declared, c.variants));
    if (!c.row) {
      EXPECT_TRUE(prompt.has_value()) << only_row(prompt.error()).message;
      continue;
    }
    ASSERT_FALSE(prompt.has_value());
    EXPECT_EQ(only_row(prompt.error()), *c.row);
  }
}

TEST(PromptCreate, ReportedRowDoesNotDependOnMapOrder) {
  // Three broken variants and two declared names: only byte order may decide the report.
  const std::map<std::string, std::string> bodies = {
      {"beta", "{{ q }} {{ p }}"}, {"Alpha", "{{ s }}{{ R }}{{ ok }}"}, {"alpha", "{% block b %}"}};
  const FieldError expected{"R", "undefined_variable", undeclared("R", "Alpha")};
  std::vector<std::string> names;
  for (const auto& entry : bodies) names.push_back(entry.first);
  for_each_map_order(names, [&](const std::vector<std::string>& order, std::size_t buckets) {
    PromptDefinition d = definition("Hello {{ ok }}", {}, {});
    d.variables.rehash(buckets);
    d.variants.rehash(buckets);
    for (const std::string& name : order) {
      d.variables.emplace("ok_" + name, variable(true));
      d.variants.emplace(name, PromptVariant{bodies.at(name), {}});
    }
    d.variables.emplace("ok", variable(false));
    auto prompt = Prompt::create(std::move(d));
    ASSERT_FALSE(prompt.has_value());
    EXPECT_EQ(only_row(prompt.error()), expected);
  });
}

TEST(PromptLoad, ReadsEachFormatThenConstructs) {
  namespace pd = testing::pd;
  using Reader = std::expected<PromptDefinition, std::string> (*)(std::string_view);
  using Loader = std::expected<Prompt, ConsumerError> (*)(std::string_view);
  struct Case {
    std::string label;
    Loader load;
    Reader read;  // the format's reader: its record, or its message, is what loading yields
    std::string text;
    std::optional<FieldError> construction_row;
  };
  const std::vector<Case> cases = {
      {"json", Prompt::from_json, pd::read_json_text,
       R"({"name": "greet", "role": "user", "body": "Hi {{ who }}",
           "variables": {"who": {"type": "string", "trusted": true}}})",
       std::nullopt},
      {"json that is not json", Prompt::from_json, pd::read_json_text, "{\"name\": ", std::nullopt},
      {"json lacking body", Prompt::from_json, pd::read_json_text,
       R"({"name": "greet", "role": "user"})", std::nullopt},
      {"json whose body is not declared-consistent", Prompt::from_json, pd::read_json_text,
       R"({"name": "greet", "role": "user", "body": "Hi {{ who }}"})",
       FieldError{"who", "undefined_variable", undeclared("who", "default")}},
      {"yaml", Prompt::from_yaml, pd::read_yaml_text,
       "name: greet\nrole: system\nbody: |\n  Hi {{ who }}\nvariables:\n  who:\n    type: string\n"
       "    trusted: false\nvariants:\n  formal:\n    body: Dear {{ who }}\n",
       std::nullopt},
      {"yaml with a wrong role", Prompt::from_yaml, pd::read_yaml_text,
       "name: greet\nrole: admin\nbody: Hi\n", std::nullopt},
      {"yaml with an excluded statement", Prompt::from_yaml, pd::read_yaml_text,
       "name: greet\nrole: user\nbody: \"{% extends 'base' %}\"\n", kExcluded},
      {"toml", Prompt::from_toml, pd::read_toml_text,
       "name = \"greet\"\nrole = \"assistant\"\nbody = \"Hi\"\n[metadata]\nowner = \"team\"\n",
       std::nullopt},
      {"toml that is not toml", Prompt::from_toml, pd::read_toml_text, "name = \n", std::nullopt},
      {"toml with a reserved variant", Prompt::from_toml, pd::read_toml_text,
       "name = \"greet\"\nrole = \"user\"\nbody = \"{{ x\"\n[variants.default]\nbody = \"Hi\"\n",
       kReserved},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto read = c.read(c.text);
    auto loaded = c.load(c.text);
    if (!read) {
      ASSERT_FALSE(loaded.has_value());
      EXPECT_EQ(loaded.error(), ConsumerError::load(read.error()));
    } else if (c.construction_row) {
      ASSERT_FALSE(loaded.has_value());
      EXPECT_EQ(only_row(loaded.error()), *c.construction_row);
    } else {
      ASSERT_TRUE(loaded.has_value()) << only_row(loaded.error()).message;
      EXPECT_EQ(loaded->definition(), *read);
    }
  }
}

TEST(PromptLoad, ReaderMessagesPassThroughUnchanged) {
  auto missing = Prompt::from_json(R"({"name": "greet", "role": "user"})");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().kind, ConsumerError::Kind::Load);
  EXPECT_TRUE(missing.error().rows.empty());
  EXPECT_TRUE(missing.error().text.starts_with("missing field `body`")) << missing.error().text;
}

TEST(PromptGetSource, SelectsTheBodyByVariant) {
  const Prompt prompt = testing::make_prompt(
      R"({"name": "greet", "role": "user", "body": "Hi {{ who }}",
          "variables": {"who": {"type": "string", "trusted": true}},
          "variants": {"formal": {"body": "Dear {{ who }}\n"}, "Default": {"body": "x"}}})");
  struct Case {
    std::optional<std::string_view> variant;
    std::expected<std::string_view, FieldError> source;
  };
  const std::vector<Case> cases = {
      {std::nullopt, "Hi {{ who }}"},
      {"default", "Hi {{ who }}"},
      {"formal", "Dear {{ who }}\n"},
      {"Default", "x"},
      {"nope",
       std::unexpected(FieldError{"variant", "unknown_variant", "unknown variant: `nope`"})},
      {"", std::unexpected(FieldError{"variant", "unknown_variant", "unknown variant: ``"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant.value_or("<none>")));
    auto source = prompt.get_source(c.variant);
    if (c.source) {
      ASSERT_TRUE(source.has_value());
      EXPECT_EQ(*source, *c.source);
    } else {
      ASSERT_FALSE(source.has_value());
      EXPECT_EQ(only_row(source.error()), c.source.error());
    }
  }
}

}  // namespace
}  // namespace quorlen::consumer

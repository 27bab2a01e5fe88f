#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fixtures.hpp"
#include "quorlen/consumer/prompt.hpp"

namespace quorlen::consumer {
namespace {

namespace json = core::json;
namespace pd = testing::pd;
using testing::only_row;

json::Value parse_json(std::string_view text) {
  auto value = json::parse(text);
  EXPECT_TRUE(value.has_value()) << text;
  return value ? std::move(*value) : json::Value();
}

PromptVariable variable(bool trusted, pd::PromptVariableTypeString type,
                        std::optional<std::string> description = std::nullopt) {
  return PromptVariable{std::move(description), trusted, {type}, false};
}

constexpr std::string_view kBase = R"({
  "name": "greet", "role": "user", "body": "Hello {{ who }}", "output_model": "Greeting",
  "metadata": {"owner": "team", "conf": {"a": 1, "b": 2}},
  "variables": {"who": {"type": "string", "trusted": true, "description": "who is greeted"},
                "topic": {"type": ["string", "null"], "trusted": false}},
  "variants": {"formal": {"body": "Dear {{ who }}"}}})";

constexpr std::string_view kBareBase = R"({"name": "bare", "role": "system", "body": "Hi"})";

std::string undeclared(std::string_view name, std::string_view variant) {
  return "template references undeclared variable `" + std::string(name) + "` (variant `" +
         std::string(variant) + "`); add it to the prompt's `variables`";
}

struct DeriveCase {
  std::string label;
  std::string_view base;
  std::function<void(PromptOverlay&)> overlay;
  std::vector<MergeStrategy> strategies;
  // The expected definition, as edits of the base's JSON form; or the expected row.
  std::function<void(json::Object&)> expected;
  std::optional<FieldError> row = std::nullopt;
};

const std::vector<MergeStrategy> kBoth = {MergeStrategy::Replace, MergeStrategy::Merge};
const std::vector<MergeStrategy> kReplace = {MergeStrategy::Replace};
const std::vector<MergeStrategy> kMerge = {MergeStrategy::Merge};

json::Object& object_at(json::Object& d, const std::string& key) {
  return d.at(key).as<json::Object>();
}

std::vector<DeriveCase> derive_cases() {
  auto keep = [](json::Object&) {};
  return {
      {"empty overlay keeps everything", kBase, [](PromptOverlay&) {}, kBoth, keep},
      {"scalars replace under either strategy", kBase,
       [](PromptOverlay& o) {
         o.name = *PromptDefinitionName::parse("welcome");
         o.role = PromptDefinitionRole::Assistant;
         o.body = "Hi {{ topic }}";
         o.output_model = "Other";
       },
       kBoth,
       [](json::Object& d) {
         d["name"] = "welcome";
         d["role"] = "assistant";
         d["body"] = "Hi {{ topic }}";
         d["output_model"] = "Other";
       }},
      {"a cleared output model is removed", kBase,
       [](PromptOverlay& o) { o.output_model = ClearOutputModel{}; }, kBoth,
       [](json::Object& d) { d.erase("output_model"); }},
      {"an empty variables map replaces and strands the body's variable", kBase,
       [](PromptOverlay& o) { o.variables.emplace(); }, kReplace, nullptr,
       FieldError{"who", "undefined_variable", undeclared("who", "default")}},
      {"an empty map merges to no change", kBase,
       [](PromptOverlay& o) {
         o.variables.emplace();
         o.variants.emplace();
         o.metadata.emplace();
       },
       kMerge, keep},
      {"replace keeps only the overlay's variables", kBase,
       [](PromptOverlay& o) {
         o.variables.emplace();
         o.variables->emplace("who", variable(false, pd::PromptVariableTypeString::Integer));
       },
       kReplace,
       [](json::Object& d) {
         d["variables"] = parse_json(
             R"({"who": {"trusted": false, "type": "integer", "validation_required": false}})");
       }},
      {"merge adds a new variable and keeps the base's", kBase,
       [](PromptOverlay& o) {
         o.variables.emplace();
         o.variables->emplace("extra", variable(true, pd::PromptVariableTypeString::Boolean, "x"));
       },
       kMerge,
       [](json::Object& d) {
         object_at(d, "variables")["extra"] = parse_json(
             R"({"description": "x", "trusted": true, "type": "boolean",
                 "validation_required": false})");
       }},
      {"merge replaces a variable of the same name whole", kBase,
       [](PromptOverlay& o) {
         o.variables.emplace();
         o.variables->emplace("who", variable(false, pd::PromptVariableTypeString::Integer));
       },
       kMerge,
       [](json::Object& d) {
         object_at(d, "variables")["who"] = parse_json(
             R"({"trusted": false, "type": "integer", "validation_required": false})");
       }},
      {"merge adds a guard key to the metadata", kBase,
       [](PromptOverlay& o) { o.metadata = json::Object{{"guard", true}}; }, kMerge,
       [](json::Object& d) { object_at(d, "metadata")["guard"] = true; }},
      {"replace leaves only the overlay's metadata", kBase,
       [](PromptOverlay& o) { o.metadata = json::Object{{"guard", true}}; }, kReplace,
       [](json::Object& d) { d["metadata"] = json::Object{{"guard", true}}; }},
      {"merge replaces a metadata value whole, objects included", kBase,
       [](PromptOverlay& o) {
         o.metadata = json::Object{{"conf", json::Object{{"c", std::int64_t{3}}}}};
       },
       kMerge,
       [](json::Object& d) { object_at(d, "metadata")["conf"] = parse_json(R"({"c": 3})"); }},
      {"replace with empty variants drops them", kBase,
       [](PromptOverlay& o) { o.variants.emplace(); }, kReplace,
       [](json::Object& d) { d.erase("variants"); }},
      {"merge adds a variant", kBase,
       [](PromptOverlay& o) {
         o.variants.emplace();
         o.variants->emplace("casual", PromptVariant{"Hey {{ who }}", {}});
       },
       kMerge,
       [](json::Object& d) {
         object_at(d, "variants")["casual"] = parse_json(R"({"body": "Hey {{ who }}"})");
       }},
      {"a merged variant is validated like any other", kBase,
       [](PromptOverlay& o) {
         o.variants.emplace();
         o.variants->emplace("casual", PromptVariant{"Hey {{ stranger }}", {}});
       },
       kBoth, nullptr,
       FieldError{"stranger", "undefined_variable", undeclared("stranger", "casual")}},
      {"a variant named default is refused", kBase,
       [](PromptOverlay& o) {
         o.variants.emplace();
         o.variants->emplace("default", PromptVariant{"Hi", {}});
       },
       kBoth, nullptr,
       FieldError{"variant", "undefined_variable",
                  "variant `default` uses the reserved name for the root body; rename it or move "
                  "its body to the root"}},
      {"a new body must keep to the declared variables", kBase,
       [](PromptOverlay& o) { o.body = "Hello {{ stranger }}"; }, kBoth, nullptr,
       FieldError{"stranger", "undefined_variable", undeclared("stranger", "default")}},
      {"merging into absent maps yields exactly the overlay's", kBareBase,
       [](PromptOverlay& o) {
         o.variables.emplace();
         o.variables->emplace("x", variable(true, pd::PromptVariableTypeString::String));
         o.metadata = json::Object{{"k", "v"}};
       },
       kMerge,
       [](json::Object& d) {
         d["variables"] = parse_json(
             R"({"x": {"trusted": true, "type": "string", "validation_required": false}})");
         d["metadata"] = parse_json(R"({"k": "v"})");
       }},
  };
}

TEST(DeriveWith, BothStrategies) {
  for (const DeriveCase& c : derive_cases()) {
    for (MergeStrategy strategy : c.strategies) {
      SCOPED_TRACE(c.label + (strategy == MergeStrategy::Merge ? " (merge)" : " (replace)"));
      const Prompt base = testing::make_prompt(c.base);
      const Prompt untouched = base;
      PromptOverlay overlay;
      c.overlay(overlay);
      auto derived = derive_with(base, std::move(overlay), strategy);
      EXPECT_EQ(base, untouched);
      if (c.row) {
        ASSERT_FALSE(derived.has_value());
        EXPECT_EQ(only_row(derived.error()), *c.row);
        continue;
      }
      ASSERT_TRUE(derived.has_value()) << only_row(derived.error()).message;
      json::Value expected = pd::to_json(base.definition());
      c.expected(expected.as<json::Object>());
      EXPECT_EQ(json::write(pd::to_json(derived->definition())), json::write(expected));
    }
  }
}

TEST(MergeDefinitions, KeyByKey) {
  struct Case {
    std::string label;
    std::string_view base;
    std::string_view overlay;
    bool merge;
    std::string_view expected;  // JSON text, or the Load text of an internal failure
  };
  const std::vector<Case> cases = {
      {"base is tested first", "[]", "5", true, "internal: base is not a JSON object"},
      {"overlay must be an object", "{}", "null", false, "internal: overlay is not a JSON object"},
      {"maps union, overlay entries win whole", R"({"variants": {"a": 1, "b": {"x": 1}}})",
       R"({"variants": {"b": {"y": 2}, "c": 4}})", true,
       R"({"variants": {"a": 1, "b": {"y": 2}, "c": 4}})"},
      {"replace takes the overlay's map", R"({"variants": {"a": 1, "b": 2}})",
       R"({"variants": {"b": 3}})", false, R"({"variants": {"b": 3}})"},
      {"only the three map fields union", R"({"other": {"a": 1}})", R"({"other": {"b": 2}})", true,
       R"({"other": {"b": 2}})"},
      {"a base value that is no object is replaced", R"({"metadata": "x"})",
       R"({"metadata": {"a": 1}})", true, R"({"metadata": {"a": 1}})"},
      {"an overlay value that is no object replaces", R"({"variables": {"a": 1}})",
       R"({"variables": [1]})", true, R"({"variables": [1]})"},
      {"an absent base map starts empty", "{}", R"({"metadata": {}})", true, R"({"metadata": {}})"},
      {"keys are never removed, null included", R"({"a": 1, "b": 2})", R"({"b": null})", false,
       R"({"a": 1, "b": null})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto merged = merge_definitions(parse_json(c.base), parse_json(c.overlay), c.merge);
    if (c.expected.starts_with("internal: ")) {
      ASSERT_FALSE(merged.has_value());
      EXPECT_EQ(merged.error(), ConsumerError::load(std::string(c.expected)));
    } else {
      ASSERT_TRUE(merged.has_value()) << merged.error().text;
      EXPECT_EQ(*merged, parse_json(c.expected));
    }
  }
}

TEST(PromptOverlayJson, OneKeyPerPresentSlot) {
  struct Case {
    std::function<void(PromptOverlay&)> fill;
    std::string_view expected;
  };
  const std::vector<Case> cases = {
      {[](PromptOverlay&) {}, "{}"},
      {[](PromptOverlay& o) {
         o.output_model = ClearOutputModel{};
         o.variables.emplace();
         o.variants.emplace();
         o.metadata.emplace();
       },
       R"({"metadata": {}, "output_model": null, "variables": {}, "variants": {}})"},
      {[](PromptOverlay& o) {
         o.name = *PromptDefinitionName::parse(" ");
         o.role = PromptDefinitionRole::System;
         o.body = "";
         o.output_model = "M";
         o.variants = std::unordered_map<std::string, PromptVariant>{
             {"v", PromptVariant{"b", json::Object{{"k", 1.5}}}}};
       },
       R"({"body": "", "name": " ", "output_model": "M", "role": "system",
           "variants": {"v": {"body": "b", "metadata": {"k": 1.5}}}})"},
  };
  for (const Case& c : cases) {
    PromptOverlay overlay;
    c.fill(overlay);
    EXPECT_EQ(to_json(overlay), parse_json(c.expected)) << c.expected;
  }
}

TEST(OverlayFromJson, ReadsTheSevenFieldsWithTheRecordRules) {
  struct Case {
    std::string_view input;
    std::string_view expected;  // the overlay's JSON form, or the start of the Load text
  };
  const std::vector<Case> cases = {
      {"[[\"body\", \"x\"]]", "overlay must be a dict"},
      {"null", "overlay must be a dict"},
      {"{}", "{}"},
      {R"({"unknown_key": 1, "Body": "x"})", "{}"},
      {R"({"output_model": null})", R"({"output_model": null})"},
      {R"({"name": "n", "role": "system", "body": "", "output_model": "M",
           "variables": {"x": {"type": ["string", "null"], "trusted": false}},
           "variants": {"v": {"body": "b"}}, "metadata": {"k": [1, {"a": null}]}})",
       R"({"body": "", "metadata": {"k": [1, {"a": null}]}, "name": "n", "output_model": "M",
           "role": "system", "variables": {"x": {"trusted": false, "type": ["string", "null"],
           "validation_required": false}}, "variants": {"v": {"body": "b"}}})"},
      {R"({"role": "boss"})",
       "overlay field `role`: unknown variant `boss`, expected one of `system`, `user`, "
       "`assistant`"},
      {R"({"role": 7, "name": 5})", "overlay field `name`: invalid type"},
      {R"({"name": ""})", "overlay field `name`: shorter than 1 characters"},
      {R"({"body": null})", "overlay field `body`: invalid type"},
      {R"({"variables": {"x": {"type": "string"}}})",
       "overlay field `variables`: missing field `trusted`"},
      {R"({"variants": {"v": {"body": "b", "extra": 1}}})",
       "overlay field `variants`: unknown field `extra`, expected `body` or `metadata`"},
      {R"({"output_model": 3})", "overlay field `output_model`: invalid type"},
      {R"({"metadata": null})", "overlay field `metadata`: invalid type"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    auto overlay = overlay_from_json(parse_json(c.input));
    if (c.expected.starts_with("{")) {
      ASSERT_TRUE(overlay.has_value()) << overlay.error().text;
      EXPECT_EQ(to_json(*overlay), parse_json(c.expected));
    } else {
      ASSERT_FALSE(overlay.has_value());
      EXPECT_EQ(overlay.error().kind, ConsumerError::Kind::Load);
      EXPECT_TRUE(overlay.error().text.starts_with(c.expected)) << overlay.error().text;
    }
  }
}

}  // namespace
}  // namespace quorlen::consumer

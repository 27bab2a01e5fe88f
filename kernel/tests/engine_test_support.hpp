// Definitions for the kernel's tests, built directly as records.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "quorlen/core/generated/prompt_definition/record.hpp"

namespace quorlen::core::test {

using generated::prompt_definition::PromptDefinition;

struct VariableSpec {
  std::string name;
  bool trusted = true;
};

struct VariantSpec {
  std::string name;
  std::string body;
};

inline PromptDefinition make_definition(std::string body, std::vector<VariableSpec> variables = {},
                                        std::vector<VariantSpec> variants = {}) {
  using namespace generated::prompt_definition;
  PromptDefinition definition{.body = std::move(body),
                              .metadata = {},
                              .name = *PromptDefinitionName::parse("greeting"),
                              .output_model = {},
                              .role = PromptDefinitionRole::User,
                              .variables = {},
                              .variants = {}};
  for (auto& v : variables) {
    PromptVariable variable;
    variable.trusted = v.trusted;
    definition.variables.emplace(std::move(v.name), std::move(variable));
  }
  for (auto& v : variants) {
    PromptVariant variant;
    variant.body = std::move(v.body);
    definition.variants.emplace(std::move(v.name), std::move(variant));
  }
  return definition;
}

}  // namespace quorlen::core::test

// Stands in for the record library's name check until it is on this branch.
#include "quorlen/core/generated/prompt_definition/record.hpp"

namespace quorlen::core::generated::prompt_definition {

std::expected<PromptDefinitionName, ConversionError> PromptDefinitionName::parse(std::string text) {
  return PromptDefinitionName(std::move(text));
}

}  // namespace quorlen::core::generated::prompt_definition

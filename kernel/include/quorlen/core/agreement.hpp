// Which root names a template of a definition reads without binding them.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quorlen/core/error.hpp"
#include "quorlen/core/generated/prompt_definition/record.hpp"

namespace quorlen::core {

struct Agreement {
  std::string variant;
  std::vector<std::string> roots;  // unique, ascending byte order
};

std::expected<Agreement, KernelError> required_roots(
    const generated::prompt_definition::PromptDefinition& definition,
    std::optional<std::string_view> variant);

}  // namespace quorlen::core

#include <utility>

#include "quorlen/core/engine.hpp"

namespace quorlen::core {

std::expected<ResolvedVariant, KernelError> resolve_variant(
    const PromptDefinition& definition, std::optional<std::string_view> variant) {
  if (!variant || *variant == kDefaultVariant) {
    return ResolvedVariant{std::string(kDefaultVariant), definition.body};
  }
  // unordered_map<std::string> has no heterogeneous lookup without a transparent hash, and
  // the name has to be owned in either outcome anyway.
  std::string name(*variant);
  const auto found = definition.variants.find(name);
  if (found == definition.variants.end()) {
    return std::unexpected(KernelError{KernelError::Kind::UnknownVariant, std::move(name)});
  }
  return ResolvedVariant{std::move(name), found->second.body};
}

std::expected<std::string_view, KernelError> get_source(const PromptDefinition& definition,
                                                        std::optional<std::string_view> variant) {
  auto resolved = resolve_variant(definition, variant);
  if (!resolved) return std::unexpected(std::move(resolved.error()));
  return resolved->source;
}

}  // namespace quorlen::core

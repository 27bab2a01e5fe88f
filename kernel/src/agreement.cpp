#include "quorlen/core/agreement.hpp"

#include <algorithm>
#include <iterator>

#include "quorlen/core/engine.hpp"

namespace quorlen::core {

std::expected<Agreement, KernelError> required_roots(
    const generated::prompt_definition::PromptDefinition& definition,
    std::optional<std::string_view> variant) {
  auto resolved = resolve_variant(definition, variant);
  if (!resolved) return std::unexpected(std::move(resolved.error()));

  // The same configuration as a render, without the guard filter: the analysis must see the
  // template as its author wrote it.
  jinja::Environment environment;
  auto compiled = compile_template(environment, std::string(resolved->source));
  if (!compiled) return std::unexpected(std::move(compiled.error()));

  std::vector<std::string> names = (*compiled)->undeclared_variables();
  std::vector<std::string> globals = environment.global_names();
  std::ranges::sort(names);
  std::ranges::sort(globals);
  Agreement agreement{std::move(resolved->name), {}};
  std::ranges::set_difference(names, globals, std::back_inserter(agreement.roots));
  const auto duplicates = std::ranges::unique(agreement.roots);
  agreement.roots.erase(duplicates.begin(), duplicates.end());
  return agreement;
}

}  // namespace quorlen::core

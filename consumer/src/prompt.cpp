#include "quorlen/consumer/prompt.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "quorlen/core/agreement.hpp"
#include "quorlen/core/engine.hpp"
#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace quorlen::consumer {
namespace {

namespace pd = core::generated::prompt_definition;
using KernelKind = core::KernelError::Kind;

ConsumerError render_row(std::string field, std::string_view code, std::string message) {
  return ConsumerError::render(FieldError{std::move(field), std::string(code), std::move(message)});
}

// Construction reports analysis failures more tersely than a render does: no syntax
// diagnostic at all, and no engine text in `field`.
ConsumerError construction_error(core::KernelError error) {
  switch (error.kind) {
    case KernelKind::Parse:
      return render_row("template", codes::kParse, "template parse error");
    case KernelKind::UndefinedVariable:
      return render_row("template", codes::kUndefinedVariable,
                        "undefined variable at render: `" + error.text + "`");
    default:
      return from_kernel(std::move(error));
  }
}

// Analyses one body and returns the row of its first failure, if any.
std::optional<ConsumerError> check_arm(const PromptDefinition& definition,
                                       std::optional<std::string_view> variant) {
  auto agreement = core::required_roots(definition, variant);
  if (!agreement) return construction_error(std::move(agreement.error()));
  // The smallest undeclared root by bytes, so the report never depends on the order in
  // which the analysis happened to list the roots.
  const std::string* undeclared = nullptr;
  for (const std::string& root : agreement->roots) {
    if (!definition.variables.contains(root) && (undeclared == nullptr || root < *undeclared)) {
      undeclared = &root;
    }
  }
  if (undeclared == nullptr) return std::nullopt;
  std::string message = "template references undeclared variable `" + *undeclared +
                        "` (variant `";
  message += variant.value_or(core::kDefaultVariant);
  message += "`); add it to the prompt's `variables`";
  return render_row(*undeclared, codes::kUndefinedVariable, std::move(message));
}

std::expected<Prompt, ConsumerError> load(std::expected<PromptDefinition, std::string> read) {
  if (!read) return std::unexpected(ConsumerError::load(std::move(read.error())));
  return Prompt::create(std::move(*read));
}

}  // namespace

std::expected<Prompt, ConsumerError> Prompt::create(PromptDefinition definition) {
  if (definition.variants.contains(std::string(core::kDefaultVariant))) {
    return std::unexpected(render_row(
        "variant", codes::kUndefinedVariable,
        "variant `default` uses the reserved name for the root body; rename it or move its "
        "body to the root"));
  }
  if (auto failure = check_arm(definition, std::nullopt)) {
    return std::unexpected(std::move(*failure));
  }

  // Variants in ascending byte order of their names: when several fail, the reported one
  // is the same whatever the map's iteration order.
  std::vector<std::string_view> names;
  names.reserve(definition.variants.size());
  for (const auto& entry : definition.variants) names.push_back(entry.first);
  std::ranges::sort(names);
  for (std::string_view name : names) {
    if (auto failure = check_arm(definition, name)) return std::unexpected(std::move(*failure));
  }
  return Prompt(std::move(definition));
}

std::expected<Prompt, ConsumerError> Prompt::from_json(std::string_view text) {
  return load(pd::read_json_text(text));
}

std::expected<Prompt, ConsumerError> Prompt::from_yaml(std::string_view text) {
  return load(pd::read_yaml_text(text));
}

std::expected<Prompt, ConsumerError> Prompt::from_toml(std::string_view text) {
  return load(pd::read_toml_text(text));
}

std::expected<std::string_view, ConsumerError> Prompt::get_source(
    std::optional<std::string_view> variant) const {
  auto source = core::get_source(definition_, variant);
  if (!source) return std::unexpected(from_kernel(std::move(source.error())));
  return *source;
}

}  // namespace quorlen::consumer

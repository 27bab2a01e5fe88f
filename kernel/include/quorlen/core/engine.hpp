// The render pipeline: variant resolution, source lookup, rendering with provenance.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include <jinja/jinja.hpp>

#include "quorlen/core/error.hpp"
#include "quorlen/core/generated/prompt_definition/record.hpp"

namespace quorlen::core {

using generated::prompt_definition::PromptDefinition;

// The name that always designates the root body, and the name every template is compiled
// under (engine messages cite it).
inline constexpr std::string_view kDefaultVariant = "default";
inline constexpr std::string_view kTemplateName = "kernel";

struct GuardConfig {
  bool enabled = false;
  std::optional<std::string> advisory;
};

struct RenderResult {
  std::string text;
  std::string name;
  std::string variant;
  std::string template_hash;
  std::string render_hash;
  std::optional<std::string> guard;
};

struct ResolvedVariant {
  std::string name;
  std::string_view source;  // into the definition
};

std::expected<ResolvedVariant, KernelError> resolve_variant(const PromptDefinition& definition,
                                                            std::optional<std::string_view> variant);
std::expected<std::string_view, KernelError> get_source(const PromptDefinition& definition,
                                                        std::optional<std::string_view> variant);
// `value` is the root context: a map from variable names to values.
std::expected<RenderResult, KernelError> render(const PromptDefinition& definition,
                                                std::optional<std::string_view> variant,
                                                jinja::Value value, const GuardConfig& guard);

// Compiles `source` in `environment` under kTemplateName and fetches it back; engine
// failures come back mapped. The render and the agreement analysis both compile this way.
std::expected<const jinja::Template*, KernelError> compile_template(jinja::Environment& environment,
                                                                   std::string source);

// Classifies an engine error, detecting the excluded template features.
KernelError map_engine_error(jinja::Error error);

}  // namespace quorlen::core

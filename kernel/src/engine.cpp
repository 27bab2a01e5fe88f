#include "quorlen/core/engine.hpp"

#include <utility>

#include "quorlen/core/hashing.hpp"
#include "quorlen/core/origin.hpp"

namespace quorlen::core {

std::expected<const jinja::Template*, KernelError> compile_template(jinja::Environment& environment,
                                                                   std::string source) {
  if (auto added = environment.add_template(std::string(kTemplateName), std::move(source));
      !added) {
    return std::unexpected(map_engine_error(std::move(added.error())));
  }
  auto fetched = environment.get_template(kTemplateName);
  if (!fetched) return std::unexpected(map_engine_error(std::move(fetched.error())));
  return *fetched;
}

std::expected<RenderResult, KernelError> render(const PromptDefinition& definition,
                                                std::optional<std::string_view> variant,
                                                jinja::Value value, const GuardConfig& guard) {
  auto resolved = resolve_variant(definition, variant);
  if (!resolved) return std::unexpected(std::move(resolved.error()));

  std::vector<std::string> untrusted;
  if (guard.enabled) untrusted = untrusted_fields(definition);
  const bool guarded = !untrusted.empty();
  std::string working = guarded ? apply_guard_prepass(resolved->source, untrusted)
                                : std::string(resolved->source);

  // Checked before any compiling, so a bad override is reported even for a broken template.
  auto advisory = build_guard_text(untrusted, guard);
  if (!advisory) return std::unexpected(std::move(advisory.error()));

  jinja::Environment environment;
  if (guarded) environment.add_filter(std::string(kGuardFilterName), &guard_wrap);
  auto compiled = compile_template(environment, std::move(working));
  if (!compiled) return std::unexpected(std::move(compiled.error()));
  auto text = (*compiled)->render(std::move(value));
  if (!text) return std::unexpected(map_engine_error(std::move(text.error())));

  auto template_hash = sha256_hex(resolved->source);
  auto render_hash = sha256_hex(*text);
  if (!template_hash || !render_hash) {
    return std::unexpected(KernelError{KernelError::Kind::Render, "SHA-256 digest failed"});
  }

  RenderResult result;
  result.template_hash = std::move(*template_hash);
  result.render_hash = std::move(*render_hash);
  result.text = std::move(*text);
  result.name = definition.name.str();
  result.variant = std::move(resolved->name);
  result.guard = std::move(*advisory);
  return result;
}

}  // namespace quorlen::core

// The guard: untrusted values printed by an output expression are escaped and wrapped in
// <untrusted> tags, and the render returns an advisory telling the model how to read them.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <jinja/jinja.hpp>

#include "quorlen/core/engine.hpp"
#include "quorlen/core/error.hpp"

namespace quorlen::core {

inline constexpr std::string_view kGuardFilterName = "quorlen_guard_wrap";
extern const std::string_view kDefaultAdvisory;

// Names of the variables with trusted == false, ascending byte order.
std::vector<std::string> untrusted_fields(const PromptDefinition& definition);

// None, the advisory, or a Guard error for an override that misses the delimiter contract.
std::expected<std::optional<std::string>, KernelError> build_guard_text(
    const PromptDefinition& definition, const GuardConfig& guard);
// The same for a caller that already holds the definition's untrusted set.
std::expected<std::optional<std::string>, KernelError> build_guard_text(
    const std::vector<std::string>& untrusted, const GuardConfig& guard);

// Rewrites every {{ ... }} naming an untrusted variable to pass through the guard filter.
// Whitespace-control markers ({{- ... -}}, {{+ ... +}}) stay outside the parentheses.
std::string apply_guard_prepass(std::string_view source, const std::vector<std::string>& untrusted);

// The filter: the value's printed text, entity-escaped, between <untrusted> tags. An
// undefined value fails as printing it would under strict undefined handling.
std::expected<jinja::Value, jinja::Error> guard_wrap(const jinja::Value& value);

}  // namespace quorlen::core

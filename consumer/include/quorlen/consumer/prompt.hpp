// The immutable, validated prompt: construction with its invariants, the text loaders,
// source lookup, and derivation of a changed prompt from an overlay.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>

#include "quorlen/consumer/error.hpp"
#include "quorlen/core/generated/prompt_definition/record.hpp"
#include "quorlen/core/json.hpp"

namespace quorlen::consumer {

using core::generated::prompt_definition::PromptDefinition;
using core::generated::prompt_definition::PromptDefinitionName;
using core::generated::prompt_definition::PromptDefinitionRole;
using core::generated::prompt_definition::PromptVariable;
using core::generated::prompt_definition::PromptVariant;

class Prompt {
 public:
  // The constructor: checks, in this order, that no variant is named "default", that every
  // body (root first, then variants by ascending name) compiles without excluded features,
  // and that every root name a body reads is declared. The first failure is the one
  // Render row; nothing is kept on failure.
  static std::expected<Prompt, ConsumerError> create(PromptDefinition definition);

  // Read the whole document text, then create(). A reading failure is a Load error with
  // the reader's own positioned message.
  static std::expected<Prompt, ConsumerError> from_json(std::string_view text);
  static std::expected<Prompt, ConsumerError> from_yaml(std::string_view text);
  static std::expected<Prompt, ConsumerError> from_toml(std::string_view text);

  // The unrendered source of the root body (no variant, or "default") or of the named
  // variant, borrowed from this prompt. An unknown name is the "unknown_variant" row.
  std::expected<std::string_view, ConsumerError> get_source(
      std::optional<std::string_view> variant = std::nullopt) const;

  const PromptDefinition& definition() const { return definition_; }
  const std::string& name() const { return definition_.name.str(); }
  PromptDefinitionRole role() const { return definition_.role; }
  const std::string& body() const { return definition_.body; }
  const std::unordered_map<std::string, PromptVariable>& variables() const {
    return definition_.variables;
  }
  const std::unordered_map<std::string, PromptVariant>& variants() const {
    return definition_.variants;
  }
  const std::optional<std::string>& output_model() const { return definition_.output_model; }
  const core::json::Object& metadata() const { return definition_.metadata; }

  friend bool operator==(const Prompt&, const Prompt&) = default;

 private:
  explicit Prompt(PromptDefinition definition) : definition_(std::move(definition)) {}
  PromptDefinition definition_;
};

// ---- Derivation -------------------------------------------------------------------------

enum class MergeStrategy {
  Replace,  // a present overlay field replaces the base's whole
  Merge,    // variables, variants, metadata: union of top-level entries, overlay wins
};

// The overlay's `output_model` marker meaning "remove the base's output model".
struct ClearOutputModel {
  friend bool operator==(ClearOutputModel, ClearOutputModel) = default;
};

// One optional slot per top-level definition field; an absent slot keeps the base's value.
// `output_model` has a third state: present and ClearOutputModel.
struct PromptOverlay {
  std::optional<PromptDefinitionName> name;
  std::optional<PromptDefinitionRole> role;
  std::optional<std::string> body;
  std::optional<std::unordered_map<std::string, PromptVariable>> variables;
  std::optional<std::unordered_map<std::string, PromptVariant>> variants;
  std::optional<std::variant<ClearOutputModel, std::string>> output_model;
  std::optional<core::json::Object> metadata;
};

// The overlay's JSON form: one key per present slot, a cleared output model as null.
core::json::Value to_json(const PromptOverlay& overlay);

// An overlay from a caller's JSON object: the seven field keys are read with the record's
// own rules (`output_model` null means clear), other keys are ignored. Load errors:
// "overlay must be a dict" for a non-object, "overlay field `K`: " + the reader's message
// for the first unreadable key in field order name, role, body, variables, variants,
// output_model, metadata.
std::expected<PromptOverlay, ConsumerError> overlay_from_json(core::json::Value value);

// A new prompt from `base` combined with `overlay`, validated like any constructed prompt
// (its Render rows are returned unchanged). `base` is never changed.
std::expected<Prompt, ConsumerError> derive_with(const Prompt& base, PromptOverlay overlay,
                                                 MergeStrategy strategy);

// Key-by-key merge of two JSON objects (`merge` selects MergeStrategy::Merge). A non-object
// input is an internal Load error; the base is tested first.
std::expected<core::json::Value, ConsumerError> merge_definitions(core::json::Value base,
                                                                  core::json::Value overlay,
                                                                  bool merge);

}  // namespace quorlen::consumer

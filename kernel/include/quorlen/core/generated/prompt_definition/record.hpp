// The prompt definition record: plain owned data shared by every layer.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "quorlen/core/json.hpp"

namespace quorlen::core::generated::prompt_definition {

namespace error {
// The error of constructing a constrained string; displays as its message alone.
struct ConversionError {
  std::string message;
  const std::string& to_string() const { return message; }
};
}  // namespace error
using error::ConversionError;

// Text of at least one Unicode scalar value; not trimmed. Only parse() makes one, so no
// record can hold an empty name.
class PromptDefinitionName {
 public:
  static std::expected<PromptDefinitionName, ConversionError> parse(std::string text);
  const std::string& str() const { return text_; }
  friend bool operator==(const PromptDefinitionName&, const PromptDefinitionName&) = default;

 private:
  explicit PromptDefinitionName(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

enum class PromptDefinitionRole { System, User, Assistant };
enum class PromptVariableTypeString { String, Integer, Number, Boolean, Array, Object };
enum class PromptVariableTypeArrayItem { String, Integer, Number, Boolean, Array, Object, Null };

std::string_view to_string(PromptDefinitionRole role);
std::string_view to_string(PromptVariableTypeString t);
std::string_view to_string(PromptVariableTypeArrayItem t);

// The single form or the list form (which may be empty and may repeat items).
struct PromptVariableType {
  std::variant<PromptVariableTypeString, std::vector<PromptVariableTypeArrayItem>> form;
  friend bool operator==(const PromptVariableType&, const PromptVariableType&) = default;
};

struct PromptVariable {
  std::optional<std::string> description;
  bool trusted = false;
  PromptVariableType type;
  bool validation_required = false;
  friend bool operator==(const PromptVariable&, const PromptVariable&) = default;
};

struct PromptVariant {
  std::string body;
  json::Object metadata;
  friend bool operator==(const PromptVariant&, const PromptVariant&) = default;
};

// Field order is the declaration order the sequence form and missing-field reports use.
// `variables` and `variants` have no defined iteration order: sort where order matters.
struct PromptDefinition {
  std::string body;
  json::Object metadata;
  PromptDefinitionName name;
  std::optional<std::string> output_model;
  PromptDefinitionRole role = PromptDefinitionRole::System;
  std::unordered_map<std::string, PromptVariable> variables;
  std::unordered_map<std::string, PromptVariant> variants;
  friend bool operator==(const PromptDefinition&, const PromptDefinition&) = default;
};

// Writing to a JSON value: sorted keys, optional and empty fields omitted as the record's
// JSON form requires. Cannot fail for a valid record.
json::Value to_json(const PromptDefinition& definition);
json::Value to_json(const PromptVariable& variable);
json::Value to_json(const PromptVariant& variant);
json::Value to_json(const std::unordered_map<std::string, PromptVariable>& variables);
json::Value to_json(const std::unordered_map<std::string, PromptVariant>& variants);

}  // namespace quorlen::core::generated::prompt_definition

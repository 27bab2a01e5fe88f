#include "quorlen/core/generated/prompt_definition/record.hpp"

namespace quorlen::core::generated::prompt_definition {

std::expected<PromptDefinitionName, ConversionError> PromptDefinitionName::parse(std::string text) {
  if (text.empty()) return std::unexpected(ConversionError{"shorter than 1 characters"});
  return PromptDefinitionName(std::move(text));
}

std::string_view to_string(PromptDefinitionRole role) {
  switch (role) {
    case PromptDefinitionRole::System:
      return "system";
    case PromptDefinitionRole::User:
      return "user";
    case PromptDefinitionRole::Assistant:
      return "assistant";
  }
  return "system";
}

std::string_view to_string(PromptVariableTypeString t) {
  switch (t) {
    case PromptVariableTypeString::String:
      return "string";
    case PromptVariableTypeString::Integer:
      return "integer";
    case PromptVariableTypeString::Number:
      return "number";
    case PromptVariableTypeString::Boolean:
      return "boolean";
    case PromptVariableTypeString::Array:
      return "array";
    case PromptVariableTypeString::Object:
      return "object";
  }
  return "string";
}

std::string_view to_string(PromptVariableTypeArrayItem t) {
  switch (t) {
    case PromptVariableTypeArrayItem::String:
      return "string";
    case PromptVariableTypeArrayItem::Integer:
      return "integer";
    case PromptVariableTypeArrayItem::Number:
      return "number";
    case PromptVariableTypeArrayItem::Boolean:
      return "boolean";
    case PromptVariableTypeArrayItem::Array:
      return "array";
    case PromptVariableTypeArrayItem::Object:
      return "object";
    case PromptVariableTypeArrayItem::Null:
      return "null";
  }
  return "null";
}

namespace {

json::Value text_value(std::string_view text) { return json::Value(std::string(text)); }

json::Value to_json(const PromptVariableType& type) {
  if (auto* single = std::get_if<PromptVariableTypeString>(&type.form)) {
    return text_value(to_string(*single));
  }
  json::Array items;
  for (auto item : std::get<std::vector<PromptVariableTypeArrayItem>>(type.form)) {
    items.push_back(text_value(to_string(item)));
  }
  return json::Value(std::move(items));
}

template <class Record>
json::Value map_to_json(const std::unordered_map<std::string, Record>& records) {
  json::Object object;  // sorted by key, whatever the hash order
  for (const auto& [name, record] : records) object.emplace(name, to_json(record));
  return json::Value(std::move(object));
}

}  // namespace

json::Value to_json(const PromptVariable& variable) {
  json::Object object;
  if (variable.description) object.emplace("description", *variable.description);
  object.emplace("trusted", variable.trusted);
  object.emplace("type", to_json(variable.type));
  object.emplace("validation_required", variable.validation_required);
  return json::Value(std::move(object));
}

json::Value to_json(const PromptVariant& variant) {
  json::Object object;
  object.emplace("body", variant.body);
  if (!variant.metadata.empty()) object.emplace("metadata", variant.metadata);
  return json::Value(std::move(object));
}

json::Value to_json(const std::unordered_map<std::string, PromptVariable>& variables) {
  return map_to_json(variables);
}

json::Value to_json(const std::unordered_map<std::string, PromptVariant>& variants) {
  return map_to_json(variants);
}

json::Value to_json(const PromptDefinition& definition) {
  json::Object object;
  object.emplace("body", definition.body);
  if (!definition.metadata.empty()) object.emplace("metadata", definition.metadata);
  object.emplace("name", definition.name.str());
  if (definition.output_model) object.emplace("output_model", *definition.output_model);
  object.emplace("role", text_value(to_string(definition.role)));
  if (!definition.variables.empty()) object.emplace("variables", to_json(definition.variables));
  if (!definition.variants.empty()) object.emplace("variants", to_json(definition.variants));
  return json::Value(std::move(object));
}

}  // namespace quorlen::core::generated::prompt_definition

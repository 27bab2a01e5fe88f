// Reading the record from a node tree, and the three text readers built on it.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "quorlen/core/generated/prompt_definition/node.hpp"
#include "quorlen/core/generated/prompt_definition/record.hpp"

namespace quorlen::core::generated::prompt_definition {

// A reading failure of the record rules: the message and the node it concerns.
struct RecordError {
  std::string message;
  Mark mark;
};

// How the found value is described and which expectations apply differ slightly between a
// text reader and a JSON value (the role's "string or map" expectation).
enum class Source { Text, JsonValue };

std::expected<PromptDefinition, RecordError> read_definition(const Node& root, Source source);

// Each returns the record or the one positioned message of the first failure.
std::expected<PromptDefinition, std::string> read_json_text(std::string_view text);
std::expected<PromptDefinition, std::string> read_yaml_text(std::string_view text);
std::expected<PromptDefinition, std::string> read_toml_text(std::string_view text);
// A record from a JSON value (derivation reads merged values back through this).
std::expected<PromptDefinition, std::string> read_json_value(const json::Value& value);

}  // namespace quorlen::core::generated::prompt_definition

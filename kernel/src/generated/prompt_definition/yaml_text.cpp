#include <string>

#include "generated/prompt_definition/yaml_stream.hpp"
#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace quorlen::core::generated::prompt_definition {
namespace {

std::string positioned(std::string message, const Mark& mark) {
  if (mark.known()) {
    message += " at line ";
    message += std::to_string(mark.line);
    message += " column ";
    message += std::to_string(mark.column);
  }
  return message;
}

}  // namespace

std::expected<PromptDefinition, std::string> read_yaml_text(std::string_view text) {
  auto documents = parse_yaml_stream(text, 1);
  if (!documents) {
    return std::unexpected(positioned(std::move(documents.error().message), documents.error().mark));
  }
  if (documents->empty()) return std::unexpected(std::string("EOF while parsing a value"));
  auto definition = read_definition(documents->front(), Source::Text);
  if (!definition) {
    return std::unexpected(
        positioned(std::move(definition.error().message), definition.error().mark));
  }
  return std::move(*definition);
}

}  // namespace quorlen::core::generated::prompt_definition

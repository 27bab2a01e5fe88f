#include "generated/prompt_definition/toml_reader.hpp"
#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace quorlen::core::generated::prompt_definition {

std::expected<PromptDefinition, std::string> read_toml_text(std::string_view text) {
  auto root = toml::parse(text);
  if (!root) return std::unexpected(toml::format_error(text, root.error()));
  auto definition = read_definition(*root, Source::Text);
  if (definition) return std::move(*definition);
  RecordError& error = definition.error();
  if (!error.mark.known()) return std::unexpected(std::move(error.message));
  // A missing field is reported at its table; when that table is the document itself (or a
  // dotted-key table) there is no token to underline, so one caret marks the place.
  const std::uint32_t offset = error.mark.offset;
  const bool bracketed = offset < text.size() && (text[offset] == '[' || text[offset] == '{');
  const std::uint32_t width = error.message.starts_with("missing field") && !bracketed
                                  ? 1
                                  : toml::token_width(text, offset);
  return std::unexpected(toml::format_error(text, {std::move(error.message), offset, width}));
}

}  // namespace quorlen::core::generated::prompt_definition

// TOML 1.1.0 text to the positioned node tree, and the positioned error report shared by the
// syntax errors of the reader and the record errors found afterwards.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "quorlen/core/generated/prompt_definition/node.hpp"

namespace quorlen::core::generated::prompt_definition::toml {

// Deeper documents are refused rather than risking the stack of every later recursive walk.
inline constexpr int kMaxDepth = 128;

struct Error {
  std::string message;
  std::uint32_t offset = 0;  // byte offset of the offending span in the text
  std::uint32_t width = 1;   // its length in bytes; at least one caret is always drawn
};

// The document as one Mapping node. Tables keep their keys in order of first definition;
// scalars keep their TOML type (date-times as RFC 3339 text); marks count lines from 1 and
// columns in characters from 1, a leading byte order mark not counted.
std::expected<Node, Error> parse(std::string_view text);

// Line and column of a byte offset, counted as the marks of parse() count them.
Mark locate(std::string_view text, std::uint32_t offset);

// "TOML parse error at line L, column C", the source line with carets under the span, then
// the message. Long lines are cut to a window around the span; bytes that are not printable
// UTF-8 are shown as U+FFFD so the report is always valid text.
std::string format_error(std::string_view text, const Error& error);

// The width of the token that starts at `offset` (a string, a bracketed value or header, a
// bare word), for errors that only know where a node starts.
std::uint32_t token_width(std::string_view text, std::uint32_t offset);

}  // namespace quorlen::core::generated::prompt_definition::toml

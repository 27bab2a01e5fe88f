// The quoted text form every __repr__ uses for a text: double quotes, backslash escapes for
// the quote, the backslash, \t \r \n \0, and \u{hex} for anything not printable or a
// grapheme extender (so a combining mark cannot fuse with the closing quote).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorlen::py {

void append_quoted(std::string& out, std::string_view text);
std::string quoted(std::string_view text);
// None, or Some("...") for a present text.
std::string quoted_option(const std::optional<std::string>& text);

}  // namespace quorlen::py

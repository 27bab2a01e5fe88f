// Scalar pieces of the TOML reader that need no document context: numbers, date-times and
// UTF-8 handling. Failures are fixed texts; the caller adds the position.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "quorlen/core/generated/prompt_definition/node.hpp"

namespace quorlen::core::generated::prompt_definition::toml {

// An integer (decimal, 0x, 0o, 0b) or a float (incl. inf and nan) from a whole token.
// Sets `out.kind` and its value; returns nullptr or the reason the token is not a number.
const char* read_number(std::string_view token, Node& out);

struct DateTimeScan {
  std::size_t length = 0;       // bytes consumed; 0 on failure
  const char* error = nullptr;  // set on failure
};

// A date, date-time or time at the start of `rest`, written to `rfc3339` in its normal form:
// upper-case `T` and `Z`, seconds always present, the fraction kept as written.
DateTimeScan read_date_time(std::string_view rest, std::string& rfc3339);

// The byte offset of the first byte that is not part of well-formed UTF-8 (overlong forms and
// surrogates included), or text.size() when all of it is.
std::size_t utf8_valid_prefix(std::string_view text);

// The length of the well-formed UTF-8 sequence starting at text[0]; 0 when it is not one.
std::size_t utf8_sequence_length(std::string_view text);

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_bare_key_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '_' || c == '-';
}

}  // namespace quorlen::core::generated::prompt_definition::toml

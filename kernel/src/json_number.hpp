// Decimal number text <-> double, shared by the JSON reader and writer and the YAML scalar
// typing, so that every reader rounds and every writer prints numbers the same way.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorlen::core::json::detail {

// `text` is an optional '-', digits with an optional fraction (either side of the point may
// be empty, not both) and an optional exponent. Rounds correctly. Results too small for a
// double become a zero of the same sign; nullopt when the magnitude is too large.
std::optional<double> parse_decimal(std::string_view text);

// The shortest text that reads back as the same double, always with a '.' or an exponent
// so that it reads back as a floating point number ("1.0", "1e+300"). Non-finite values
// give "inf", "-inf" and "NaN".
void append_double(std::string& out, double value);

}  // namespace quorlen::core::json::detail

#include "json_number.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace quorlen::core::json::detail {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// from_chars reports overflow and underflow alike; the decimal exponent of the first
// significant digit tells them apart.
bool magnitude_above_one(std::string_view text) {
  std::size_t i = text.starts_with('-') ? 1 : 0;
  long long lead = 0;  // decimal exponent of the first non-zero digit, relative to the point
  bool found = false;
  long long int_digits = 0;
  for (; i < text.size() && is_digit(text[i]); ++i, ++int_digits) {
    if (!found && text[i] != '0') {
      found = true;
      lead = int_digits;  // fixed up below once the integer part's length is known
    }
  }
  long long lead_exp = found ? int_digits - lead - 1 : 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (long long k = 1; i < text.size() && is_digit(text[i]); ++i, ++k) {
      if (!found && text[i] != '0') {
        found = true;
        lead_exp = -k;
      }
    }
  }
  if (!found) return false;  // all zeros never overflow
  long long exp = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    for (; i < text.size() && is_digit(text[i]); ++i) {
      if (exp < 1'000'000'000) exp = exp * 10 + (text[i] - '0');  // saturates, sign is enough
    }
    if (negative) exp = -exp;
  }
  return lead_exp + exp >= 0;
}

}  // namespace

std::optional<double> parse_decimal(std::string_view text) {
  double value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (magnitude_above_one(text)) return std::nullopt;
    return text.starts_with('-') ? -0.0 : 0.0;
  }
  if (ec != std::errc{}) return std::nullopt;  // callers pass validated text
  return value;
}

void append_double(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  // Fixed notation for decimal exponents in [-4, 16), scientific beyond, as Python's repr:
  // plain fixed notation would print made-up digits for large magnitudes.
  char buffer[64];
  auto [sci_end, sci_ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view scientific(buffer, static_cast<std::size_t>(sci_end - buffer));
  int exponent = 0;
  std::string_view exponent_text = scientific.substr(scientific.find('e') + 1);
  std::from_chars(exponent_text.data() + (exponent_text[0] == '+' ? 1 : 0),
                  exponent_text.data() + exponent_text.size(), exponent);
  if (exponent < -4 || exponent >= 16) {
    out += scientific;
    return;
  }
  auto [fixed_end, fixed_ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string_view fixed(buffer, static_cast<std::size_t>(fixed_end - buffer));
  out += fixed;
  if (fixed.find('.') == std::string_view::npos) out += ".0";
}

}  // namespace quorlen::core::json::detail

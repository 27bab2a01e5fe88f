#include "generated/prompt_definition/toml_scalar.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace quorlen::core::generated::prompt_definition::toml {
namespace {

constexpr std::size_t kBad = std::string_view::npos;
constexpr const char* kUnderscore = "an underscore in a number must sit between two digits";

// Digits with single underscores between them, starting at `i`; the index after them, or
// kBad when there is no digit or an underscore is misplaced.
std::size_t skip_digits(std::string_view s, std::size_t i) {
  if (i >= s.size() || !is_digit(s[i])) return kBad;
  ++i;
  while (i < s.size()) {
    if (is_digit(s[i])) {
      ++i;
    } else if (s[i] == '_') {
      if (i + 1 >= s.size() || !is_digit(s[i + 1])) return kBad;
      i += 2;
    } else {
      break;
    }
  }
  return i;
}

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

const char* read_radix_integer(std::string_view digits, int base, Node& out) {
  if (digits.empty()) return "missing digits after the base prefix";
  std::uint64_t value = 0;
  bool after_digit = false;
  for (char c : digits) {
    if (c == '_') {
      if (!after_digit) return kUnderscore;
      after_digit = false;
      continue;
    }
    const int d = digit_value(c);
    if (d >= base) return "invalid digit for the integer's base";
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (value > (kMax - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base)) {
      return "integer out of range for a signed 64-bit integer";
    }
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    after_digit = true;
  }
  if (!after_digit) return kUnderscore;
  out.kind = Node::Kind::Int;
  out.int_value = static_cast<std::int64_t>(value);
  return nullptr;
}

// A float that std::from_chars finds out of range: too small rounds to a signed zero (as any
// decimal reader would), too large is an error rather than a silent infinity.
const char* float_out_of_range(std::string_view digits, bool negative, Node& out) {
  std::size_t e = digits.find_first_of("eE");
  long exponent = 0;
  if (e != std::string_view::npos) {
    std::size_t i = e + 1;
    const bool neg_exp = i < digits.size() && digits[i] == '-';
    if (i < digits.size() && (digits[i] == '-' || digits[i] == '+')) ++i;
    for (; i < digits.size(); ++i) exponent = std::min(exponent * 10 + (digits[i] - '0'), 100000L);
    if (neg_exp) exponent = -exponent;
  }
  const std::string_view mantissa = digits.substr(0, e);
  const std::size_t point = mantissa.find('.');
  const std::string_view whole = mantissa.substr(0, point);
  long magnitude = 0;
  if (whole.find_first_not_of('0') != std::string_view::npos) {
    magnitude = static_cast<long>(whole.size() - whole.find_first_not_of('0'));
  } else if (point != std::string_view::npos) {
    const std::string_view fraction = mantissa.substr(point + 1);
    const std::size_t first = fraction.find_first_not_of('0');
    magnitude = -static_cast<long>(first == std::string_view::npos ? fraction.size() : first);
  }
  if (magnitude + exponent > 0) return "floating point number out of range";
  out.kind = Node::Kind::Float;
  out.float_value = negative ? -0.0 : 0.0;
  return nullptr;
}

bool two_digits(std::string_view s, std::size_t i, int& value) {
  if (i + 2 > s.size() || !is_digit(s[i]) || !is_digit(s[i + 1])) return false;
  value = (s[i] - '0') * 10 + (s[i + 1] - '0');
  return true;
}

bool leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap_year(year) ? 29 : kDays[month - 1];
}

bool ends_value(std::string_view s, std::size_t i) {
  if (i >= s.size()) return true;
  switch (s[i]) {
    case ' ': case '\t': case ',': case ']': case '}': case '#': case '\n': case '\r':
      return true;
    default:
      return false;
  }
}

// HH:MM[:SS[.fraction]] at `i`; appends its normal form and advances `i`.
const char* read_time(std::string_view s, std::size_t& i, std::string& out) {
  int hour = 0, minute = 0, second = 0;
  if (!two_digits(s, i, hour) || i + 2 >= s.size() || s[i + 2] != ':' ||
      !two_digits(s, i + 3, minute)) {
    return "invalid time: expected HH:MM or HH:MM:SS";
  }
  if (hour > 23 || minute > 59) return "invalid time: hour or minute out of range";
  out.append(s.substr(i, 5));
  i += 5;
  if (i < s.size() && s[i] == ':') {
    if (!two_digits(s, i + 1, second)) return "invalid time: expected two digits of seconds";
    if (second > 60) return "invalid time: second out of range";
    out.append(s.substr(i, 3));
    i += 3;
    if (i < s.size() && s[i] == '.') {
      std::size_t j = i + 1;
      while (j < s.size() && is_digit(s[j])) ++j;
      if (j == i + 1) return "invalid time: expected digits after the decimal point";
      out.append(s.substr(i, j - i));
      i = j;
    }
  } else {
    out.append(":00");
  }
  return nullptr;
}

}  // namespace

const char* read_number(std::string_view token, Node& out) {
  std::string_view s = token;
  bool negative = false;
  const bool has_sign = !s.empty() && (s[0] == '+' || s[0] == '-');
  if (has_sign) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s == "inf" || s == "nan") {
    out.kind = Node::Kind::Float;
    const double magnitude = s == "inf" ? std::numeric_limits<double>::infinity()
                                        : std::numeric_limits<double>::quiet_NaN();
    out.float_value = std::copysign(magnitude, negative ? -1.0 : 1.0);
    return nullptr;
  }
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'o' || s[1] == 'b')) {
    if (has_sign) return "a sign is not allowed on hexadecimal, octal or binary integers";
    return read_radix_integer(s.substr(2), s[1] == 'x' ? 16 : s[1] == 'o' ? 8 : 2, out);
  }
  std::size_t i = skip_digits(s, 0);
  if (i == kBad) return !s.empty() && is_digit(s[0]) ? kUnderscore : "invalid number";
  if (i > 1 && s[0] == '0') return "leading zeros are not allowed in a number";
  bool is_float = false;
  if (i < s.size() && s[i] == '.') {
    is_float = true;
    i = skip_digits(s, i + 1);
    if (i == kBad) return "a decimal point must be followed by digits";
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    is_float = true;
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    i = skip_digits(s, i);
    if (i == kBad) return "an exponent must be made of digits";
  }
  if (i != s.size()) return "invalid number";

  char buffer[128];
  std::string heap;
  char* clean = buffer;
  if (token.size() > sizeof buffer) {
    heap.resize(token.size());
    clean = heap.data();
  }
  std::size_t n = 0;
  if (negative) clean[n++] = '-';
  for (char c : s) {
    if (c != '_') clean[n++] = c;
  }
  if (!is_float) {
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(clean, clean + n, value);
    if (ec != std::errc() || end != clean + n) {
      return "integer out of range for a signed 64-bit integer";
    }
    out.kind = Node::Kind::Int;
    out.int_value = value;
    return nullptr;
  }
  double value = 0;
  auto [end, ec] = std::from_chars(clean, clean + n, value);
  if (ec == std::errc::result_out_of_range) {
    return float_out_of_range(std::string_view(clean + (negative ? 1 : 0), end), negative, out);
  }
  if (ec != std::errc() || end != clean + n) return "invalid number";
  out.kind = Node::Kind::Float;
  out.float_value = value;
  return nullptr;
}

DateTimeScan read_date_time(std::string_view s, std::string& out) {
  std::size_t i = 0;
  bool has_date = false;
  if (s.size() >= 5 && is_digit(s[0]) && is_digit(s[1]) && is_digit(s[2]) && is_digit(s[3]) &&
      s[4] == '-') {
    int month = 0, day = 0;
    if (!two_digits(s, 5, month) || s.size() < 10 || s[7] != '-' || !two_digits(s, 8, day)) {
      return {0, "invalid date: expected YYYY-MM-DD"};
    }
    const int year = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
    if (month < 1 || month > 12) return {0, "invalid date: month out of range"};
    if (day < 1 || day > days_in_month(year, month)) return {0, "invalid date: day out of range"};
    out.append(s.substr(0, 10));
    i = 10;
    has_date = true;
    if (i < s.size() && (s[i] == 'T' || s[i] == 't')) {
      ++i;
    } else if (i + 3 < s.size() && s[i] == ' ' && is_digit(s[i + 1]) && is_digit(s[i + 2]) &&
               s[i + 3] == ':') {
      ++i;
    } else {
      if (!ends_value(s, i)) return {0, "invalid date-time"};
      return {i, nullptr};
    }
    out.push_back('T');
  }
  if (const char* error = read_time(s, i, out)) return {0, error};
  if (has_date && i < s.size()) {
    if (s[i] == 'Z' || s[i] == 'z') {
      out.push_back('Z');
      ++i;
    } else if (s[i] == '+' || s[i] == '-') {
      int hour = 0, minute = 0;
      if (!two_digits(s, i + 1, hour) || i + 3 >= s.size() || s[i + 3] != ':' ||
          !two_digits(s, i + 4, minute)) {
        return {0, "invalid date-time: expected a time offset of the form +HH:MM"};
      }
      if (hour > 23 || minute > 59) return {0, "invalid date-time: time offset out of range"};
      out.append(s.substr(i, 6));
      i += 6;
    }
  }
  if (!ends_value(s, i)) return {0, has_date ? "invalid date-time" : "invalid time"};
  return {i, nullptr};
}

std::size_t utf8_sequence_length(std::string_view s) {
  if (s.empty()) return 0;
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;   // overlong
    if (b0 == 0xED) high = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;   // overlong
    if (b0 == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  const auto b1 = static_cast<unsigned char>(s[1]);
  if (b1 < low || b1 > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if ((static_cast<unsigned char>(s[k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

std::size_t utf8_valid_prefix(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    // Most definition text is ASCII: step over it a word at a time.
    while (i + 8 <= s.size()) {
      std::uint64_t word;
      std::memcpy(&word, s.data() + i, 8);
      if (word & 0x8080808080808080ULL) break;
      i += 8;
    }
    if (i >= s.size()) break;
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = utf8_sequence_length(s.substr(i));
    if (length == 0) return i;
    i += length;
  }
  return s.size();
}


}  // namespace quorlen::core::generated::prompt_definition::toml

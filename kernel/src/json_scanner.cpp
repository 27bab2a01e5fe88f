#include "json_scanner.hpp"

#include "utf8.hpp"

namespace quorlen::core::json::detail {

namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}


// Length of the well-formed UTF-8 sequence starting at text[i] (a byte >= 0x80), or 0.
// Overlong forms, surrogates and code points above U+10FFFF are not well-formed.
std::size_t utf8_length(std::string_view text, std::size_t i) {
  auto byte = [&](std::size_t k) -> unsigned {
    return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
  };
  auto cont = [&](std::size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) {
    unsigned b = byte(k);
    return b >= lo && b <= hi;
  };
  unsigned lead = byte(0);
  if (lead >= 0xC2 && lead <= 0xDF) return cont(1) ? 2 : 0;
  if (lead == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
  if (lead == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
  if (lead >= 0xE1 && lead <= 0xEF) return cont(1) && cont(2) ? 3 : 0;
  if (lead == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
  if (lead >= 0xF1 && lead <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
  if (lead == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
  return 0;
}

}  // namespace

bool Scanner::scan_string(std::string& out) {
  ++pos_;
  const std::size_t size = text_.size();
  while (true) {
    std::size_t start = pos_;
    while (pos_ < size) {
      unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\') break;
      ++pos_;
    }
    out.append(text_.data() + start, pos_ - start);
    if (pos_ >= size) return fail_at_end("EOF while parsing a string");
    unsigned char c = static_cast<unsigned char>(text_[pos_]);
    if (c == '"') {
      ++pos_;
      return true;
    }
    if (c == '\\') {
      if (!scan_escape(out)) return false;
    } else if (c < 0x20) {
      return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
    } else {
      std::size_t length = utf8_length(text_, pos_);
      if (length == 0) return fail_here("invalid unicode code point");
      out.append(text_.data() + pos_, length);
      pos_ += length;
    }
  }
}

bool Scanner::scan_hex4(std::uint32_t& out) {
  out = 0;
  for (int k = 0; k < 4; ++k) {
    if (pos_ >= text_.size()) return fail_at_end("EOF while parsing a string");
    int digit = hex_value(text_[pos_]);
    if (digit < 0) return fail_here("invalid escape");
    out = out * 16 + static_cast<std::uint32_t>(digit);
    ++pos_;
  }
  return true;
}

bool Scanner::scan_escape(std::string& out) {
  const Position escape_at = here();
  ++pos_;  // the backslash
  if (pos_ >= text_.size()) return fail_at_end("EOF while parsing a string");
  char c = text_[pos_];
  switch (c) {
    case '"':
      out += '"';
      break;
    case '\\':
      out += '\\';
      break;
    case '/':
      out += '/';
      break;
    case 'b':
      out += '\b';
      break;
    case 'f':
      out += '\f';
      break;
    case 'n':
      out += '\n';
      break;
    case 'r':
      out += '\r';
      break;
    case 't':
      out += '\t';
      break;
    case 'u': {
      ++pos_;
      std::uint32_t unit = 0;
      if (!scan_hex4(unit)) return false;
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        return fail("lone trailing surrogate in hex escape", escape_at);
      }
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (!text_.substr(pos_).starts_with("\\u")) {
          return fail("lone leading surrogate in hex escape", escape_at);
        }
        pos_ += 2;
        std::uint32_t low = 0;
        if (!scan_hex4(low)) return false;
        if (low < 0xDC00 || low > 0xDFFF) {
          return fail("lone leading surrogate in hex escape", escape_at);
        }
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
      core::detail::append_utf8(out, unit);
      return true;
    }
    default:
      return fail_here("invalid escape");
  }
  ++pos_;
  return true;
}

bool Scanner::scan_literal(std::string_view word) {
  for (char expected : word) {
    if (pos_ >= text_.size()) return fail_at_end("EOF while parsing a value");
    if (text_[pos_] != expected) return fail_here("expected ident");
    ++pos_;
  }
  return true;
}

bool Scanner::scan_number(Number& out) {
  const std::size_t start = pos_;
  const Position start_at = here();
  const std::size_t size = text_.size();
  auto peek = [&]() -> int { return pos_ < size ? static_cast<unsigned char>(text_[pos_]) : -1; };
  auto need_digit = [&]() {
    int c = peek();
    if (c < 0) return fail_at_end("EOF while parsing a value");
    if (!is_digit(c)) return fail_here("invalid number");
    return true;
  };

  const bool negative = peek() == '-';
  if (negative) ++pos_;
  if (!need_digit()) return false;
  // Accumulate the integer part while it fits; on overflow the number becomes a float.
  std::uint64_t magnitude = 0;
  bool fits = true;
  if (peek() == '0') {
    ++pos_;
    if (is_digit(peek())) return fail_here("invalid number");
  } else {
    while (is_digit(peek())) {
      auto digit = static_cast<std::uint64_t>(peek() - '0');
      if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) fits = false;
      if (fits) magnitude = magnitude * 10 + digit;
      ++pos_;
    }
  }
  bool is_float = false;
  if (peek() == '.') {
    is_float = true;
    ++pos_;
    if (!need_digit()) return false;
    while (is_digit(peek())) ++pos_;
  }
  if (peek() == 'e' || peek() == 'E') {
    is_float = true;
    ++pos_;
    if (peek() == '+' || peek() == '-') ++pos_;
    if (!need_digit()) return false;
    while (is_digit(peek())) ++pos_;
  }

  constexpr std::uint64_t min_magnitude = std::uint64_t{1} << 63;  // -(INT64_MIN)
  if (!is_float && fits && (!negative || magnitude <= min_magnitude)) {
    if (negative && magnitude != 0) {
      out.kind = Number::Kind::Negative;
      out.negative = magnitude == min_magnitude ? std::numeric_limits<std::int64_t>::min()
                                                : -static_cast<std::int64_t>(magnitude);
    } else {
      out.kind = Number::Kind::NonNegative;
      out.non_negative = magnitude;
    }
    return true;
  }
  auto value = parse_decimal(text_.substr(start, pos_ - start));
  if (!value) return fail("number out of range", start_at);
  out.kind = Number::Kind::Float;
  out.floating = *value;
  return true;
}

}  // namespace quorlen::core::json::detail

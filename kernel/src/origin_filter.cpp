#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "quorlen/core/origin.hpp"

namespace quorlen::core {
namespace {

constexpr std::array<bool, 256> kSpecial = [] {
  std::array<bool, 256> table{};
  table['&'] = table['<'] = table['>'] = true;
  return table;
}();

// Whether any of the eight bytes is one of & < > (exact: the classic zero-byte test).
bool has_special(std::uint64_t chunk) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHigh = 0x8080808080808080u;
  const auto has_byte = [](std::uint64_t x, unsigned char b) {
    const std::uint64_t y = x ^ (kOnes * b);
    return (y - kOnes) & ~y & kHigh;
  };
  return (has_byte(chunk, '&') | has_byte(chunk, '<') | has_byte(chunk, '>')) != 0;
}

void append_escaped(std::string& out, std::string_view text) {
  // Untrusted values can be whole documents, so runs without a special byte are skipped eight
  // bytes at a time. The ampersand is escaped in the same pass as the brackets, so the
  // entities written here are never escaped again.
  const char* data = text.data();
  const std::size_t size = text.size();
  std::size_t copied = 0;
  std::size_t k = 0;
  while (k < size) {
    if (k + 8 <= size) {
      std::uint64_t chunk;
      std::memcpy(&chunk, data + k, 8);
      if (!has_special(chunk)) {
        k += 8;
        continue;
      }
    }
    const char c = data[k];
    if (kSpecial[static_cast<unsigned char>(c)]) {
      out.append(data + copied, k - copied);
      out += c == '&' ? std::string_view("&amp;") : c == '<' ? "&lt;" : "&gt;";
      copied = k + 1;
    }
    ++k;
  }
  out.append(data + copied, size - copied);
}

}  // namespace

std::expected<jinja::Value, jinja::Error> guard_wrap(const jinja::Value& value) {
  // Strict undefined handling makes printing a missing name fail; wrapping it must not turn
  // that failure into an empty, seemingly successful span.
  if (value.is_undefined()) {
    return std::unexpected(jinja::Error{jinja::ErrorKind::UndefinedError, {}, {}, 0});
  }
  std::string printed;
  std::string_view text;
  if (value.kind() == jinja::Value::Kind::String) {
    text = value.as_string();
  } else {
    printed = jinja::to_output_string(value);
    text = printed;
  }
  constexpr std::string_view kOpen = "<untrusted>";
  constexpr std::string_view kClose = "</untrusted>";
  std::string out;
  out.reserve(kOpen.size() + text.size() + text.size() / 8 + kClose.size());
  out += kOpen;
  append_escaped(out, text);
  out += kClose;
  return jinja::Value::from_string(std::move(out));
}

}  // namespace quorlen::core

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quorlen/core/origin.hpp"

namespace quorlen::core {
namespace {

constexpr std::array<bool, 256> make_delimiters() {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view("\t\n\r !%()*+,-/<=>[]|~")) table[c] = true;
  return table;
}
constexpr std::array<bool, 256> kDelimiter = make_delimiters();

bool is_identifier(std::string_view head) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (head.empty() || !(letter(head[0]) || head[0] == '_')) return false;
  return std::ranges::all_of(head.substr(1), [&letter](char c) {
    return letter(c) || (c >= '0' && c <= '9') || c == '_';
  });
}

// Whether any word of the expression has an untrusted name as its head (the part before the
// first dot), so `user_input.strip()` and `user_input[0]` count but `data.user_input` does not.
bool names_untrusted(std::string_view inner, const std::vector<std::string>& untrusted) {
  std::size_t k = 0;
  while (k < inner.size()) {
    while (k < inner.size() && kDelimiter[static_cast<unsigned char>(inner[k])]) ++k;
    const std::size_t start = k;
    while (k < inner.size() && !kDelimiter[static_cast<unsigned char>(inner[k])]) ++k;
    if (start == k) break;
    std::string_view head = inner.substr(start, k - start);
    head = head.substr(0, head.find('.'));
    if (is_identifier(head) && std::ranges::binary_search(untrusted, head, std::less<>{})) {
      return true;
    }
  }
  return false;
}

// The UTF-8 forms of the code points with the Unicode White_Space property.
constexpr std::array<std::string_view, 25> kWhiteSpace = {
    "\t",           "\n",           "\v",           "\f",           "\r",
    " ",            "\xc2\x85",     "\xc2\xa0",     "\xe1\x9a\x80", "\xe2\x80\x80",
    "\xe2\x80\x81", "\xe2\x80\x82", "\xe2\x80\x83", "\xe2\x80\x84", "\xe2\x80\x85",
    "\xe2\x80\x86", "\xe2\x80\x87", "\xe2\x80\x88", "\xe2\x80\x89", "\xe2\x80\x8a",
    "\xe2\x80\xa8", "\xe2\x80\xa9", "\xe2\x80\xaf", "\xe2\x81\x9f", "\xe3\x80\x80",
};

std::string_view trim_white_space(std::string_view text) {
  for (bool trimmed = true; trimmed && !text.empty();) {
    trimmed = false;
    for (std::string_view ws : kWhiteSpace) {
      if (text.starts_with(ws)) {
        text.remove_prefix(ws.size());
        trimmed = true;
        break;
      }
    }
  }
  for (bool trimmed = true; trimmed && !text.empty();) {
    trimmed = false;
    for (std::string_view ws : kWhiteSpace) {
      if (text.ends_with(ws)) {
        text.remove_suffix(ws.size());
        trimmed = true;
        break;
      }
    }
  }
  return text;
}

bool is_marker(char c) { return c == '-' || c == '+'; }

// Finds the `}}` that closes an expression, skipping quoted strings. A scan is a
// deterministic walk over (position, quote state), so a scan that reaches a pair an earlier
// scan ran through to the end without closing is doomed too. Remembering those pairs keeps a
// source full of unclosed `{{ "` linear instead of quadratic; the memory is only taken once
// such a source shows up.
class CloseFinder {
 public:
  explicit CloseFinder(std::string_view source) : source_(source) {}

  std::optional<std::size_t> find(std::size_t from) {
    if (auto close = walk(from, false)) return close;
    if (dead_.empty()) dead_.resize(source_.size());
    walk(from, true);
    return std::nullopt;
  }

 private:
  static constexpr std::uint8_t bit(char quote) {
    return quote == 0 ? 1 : (quote == '"' ? 2 : 4);
  }

  std::optional<std::size_t> walk(std::size_t pos, bool mark) {
    const bool memo = !dead_.empty();
    char quote = 0;
    while (pos < source_.size()) {
      if (memo) {
        std::uint8_t& seen = dead_[pos];
        if (seen & bit(quote)) return std::nullopt;
        if (mark) seen |= bit(quote);
      }
      const char c = source_[pos];
      if (quote == 0) {
        if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '}' && pos + 1 < source_.size() && source_[pos + 1] == '}') {
          return pos;
        }
        ++pos;
      } else if (c == '\\') {
        pos += 2;
      } else {
        if (c == quote) quote = 0;
        ++pos;
      }
    }
    return std::nullopt;
  }

  std::string_view source_;
  std::vector<std::uint8_t> dead_;
};

void append_rewrite(std::string& out, std::string_view inner) {
  // Markers glued to the braces are whitespace control, not operators; inside the parentheses
  // they would no longer compile, so they stay where the author put them.
  const char left = !inner.empty() && is_marker(inner.front()) ? inner.front() : 0;
  if (left) inner.remove_prefix(1);
  const char right = !inner.empty() && is_marker(inner.back()) ? inner.back() : 0;
  if (right) inner.remove_suffix(1);
  out += "{{";
  if (left) out += left;
  out += " (";
  out += trim_white_space(inner);
  out += ") | ";
  out += kGuardFilterName;
  out += ' ';
  if (right) out += right;
  out += "}}";
}

}  // namespace

std::string apply_guard_prepass(std::string_view source,
                                const std::vector<std::string>& untrusted) {
  if (untrusted.empty()) return std::string(source);
  // Membership is a binary search; a caller's unsorted set must not silently leave an
  // untrusted name unguarded.
  std::vector<std::string> sorted_copy;
  const std::vector<std::string>* names = &untrusted;
  if (!std::ranges::is_sorted(untrusted)) {
    sorted_copy = untrusted;
    std::ranges::sort(sorted_copy);
    names = &sorted_copy;
  }

  std::string out;
  out.reserve(source.size() + 64);
  CloseFinder closes(source);
  std::size_t i = 0;
  while (i < source.size()) {
    const std::size_t open = source.find("{{", i);
    if (open == std::string_view::npos || open + 2 >= source.size()) break;
    out.append(source.substr(i, open - i));
    const auto close = closes.find(open + 2);
    if (!close) {
      // Not an expression: this brace is plain text and the next one is examined afresh.
      out += '{';
      i = open + 1;
      continue;
    }
    const std::string_view inner = source.substr(open + 2, *close - open - 2);
    if (names_untrusted(inner, *names)) {
      append_rewrite(out, inner);
    } else {
      out.append(source.substr(open, *close + 2 - open));
    }
    i = *close + 2;
  }
  out.append(source.substr(std::min(i, source.size())));
  return out;
}

}  // namespace quorlen::core

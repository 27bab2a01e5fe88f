#include <algorithm>
#include <array>
#include <cstddef>
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

// The untrusted names with a cheap pre-check: most words of a template (filters, loop
// variables, attributes) fail on their first byte or their length before any comparison.
class NameSet {
 public:
  explicit NameSet(const std::vector<std::string>& sorted) : names_(sorted) {
    for (const std::string& name : sorted) {
      if (name.empty()) continue;
      first_[static_cast<unsigned char>(name[0])] = true;
      min_size_ = std::min(min_size_, name.size());
      max_size_ = std::max(max_size_, name.size());
    }
  }

  bool contains(std::string_view head) const {
    if (head.size() < min_size_ || head.size() > max_size_) return false;
    if (!first_[static_cast<unsigned char>(head[0])]) return false;
    return std::ranges::binary_search(names_, head, std::less<>{});
  }

 private:
  const std::vector<std::string>& names_;
  std::array<bool, 256> first_{};
  std::size_t min_size_ = SIZE_MAX;
  std::size_t max_size_ = 0;
};

// Whether any word of the expression has an untrusted name as its head (the part before the
// first dot), so `user_input.strip()` and `user_input[0]` count but `data.user_input` does not.
bool names_untrusted(std::string_view inner, const NameSet& untrusted) {
  std::size_t k = 0;
  while (k < inner.size()) {
    while (k < inner.size() && kDelimiter[static_cast<unsigned char>(inner[k])]) ++k;
    const std::size_t start = k;
    while (k < inner.size() && !kDelimiter[static_cast<unsigned char>(inner[k])]) ++k;
    if (start == k) break;
    std::string_view head = inner.substr(start, k - start);
    head = head.substr(0, head.find('.'));
    if (untrusted.contains(head) && is_identifier(head)) return true;
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

bool ascii_white_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view trim_white_space(std::string_view text) {
  // Nearly every expression starts and ends in ASCII, decided by one byte.
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.front());
    std::size_t width = ascii_white_space(c) ? 1 : 0;
    if (c >= 0x80) {
      for (std::string_view ws : kWhiteSpace) {
        if (ws.size() > 1 && text.starts_with(ws)) width = ws.size();
      }
    }
    if (width == 0) break;
    text.remove_prefix(width);
  }
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.back());
    std::size_t width = ascii_white_space(c) ? 1 : 0;
    if (c >= 0x80) {
      for (std::string_view ws : kWhiteSpace) {
        if (ws.size() > 1 && text.ends_with(ws)) width = ws.size();
      }
    }
    if (width == 0) break;
    text.remove_suffix(width);
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
    if (dead_.empty()) {
      if (auto close = walk_fast(from)) return close;
      dead_.resize(source_.size());
    }
    return walk_marking(from);
  }

 private:
  static constexpr std::uint8_t bit(char quote) {
    return quote == 0 ? 1 : (quote == '"' ? 2 : 4);
  }

  static constexpr std::array<bool, 256> kStopOutside = [] {
    std::array<bool, 256> table{};
    table['"'] = table['\''] = table['}'] = true;
    return table;
  }();

  // The same walk without records, skipping the bytes that cannot change its state.
  std::optional<std::size_t> walk_fast(std::size_t pos) const {
    const char* data = source_.data();
    const std::size_t size = source_.size();
    while (true) {
      while (pos < size && !kStopOutside[static_cast<unsigned char>(data[pos])]) ++pos;
      if (pos >= size) return std::nullopt;
      const char c = data[pos++];
      if (c == '}') {
        if (pos < size && data[pos] == '}') return pos - 1;
        continue;
      }
      while (pos < size && data[pos] != c) pos += data[pos] == '\\' ? 2 : 1;
      if (pos >= size) return std::nullopt;
      ++pos;
    }
  }

  // Records every (position, state) it passes and gives up at one recorded before. Records
  // left by a walk that does close are never met again: the next walk starts after that close.
  std::optional<std::size_t> walk_marking(std::size_t pos) {
    const std::size_t size = source_.size();
    char quote = 0;
    while (pos < size) {
      std::uint8_t& seen = dead_[pos];
      if (seen & bit(quote)) return std::nullopt;
      seen |= bit(quote);
      const char c = source_[pos];
      if (quote == 0) {
        if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '}' && pos + 1 < size && source_[pos + 1] == '}') {
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
  if (!std::ranges::is_sorted(untrusted)) {
    sorted_copy = untrusted;
    std::ranges::sort(sorted_copy);
  }
  const NameSet names(sorted_copy.empty() ? untrusted : sorted_copy);

  std::string out;
  out.reserve(source.size() + 64);
  CloseFinder closes(source);
  // Bytes before `copied` are in `out`; text and unchanged expressions are copied in one go
  // when the next rewrite (or the end) comes.
  std::size_t copied = 0;
  std::size_t i = 0;
  while (true) {
    const std::size_t open = source.find("{{", i);
    if (open == std::string_view::npos || open + 2 >= source.size()) break;
    const auto close = closes.find(open + 2);
    if (!close) {
      // Not an expression: this brace is plain text and the next one is examined afresh.
      i = open + 1;
      continue;
    }
    const std::string_view inner = source.substr(open + 2, *close - open - 2);
    if (names_untrusted(inner, names)) {
      out.append(source.substr(copied, open - copied));
      append_rewrite(out, inner);
      copied = *close + 2;
    }
    i = *close + 2;
  }
  out.append(source.substr(copied));
  return out;
}

}  // namespace quorlen::core

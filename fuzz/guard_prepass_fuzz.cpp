// The guard pre-pass against a plain, quadratic rendering of its rules. Input: the untrusted
// name on the first line, the template source after it. Besides matching the reference, the
// output must be the input byte for byte whenever no expression can name the untrusted
// variable (the name never occurs in the source, or is no identifier a word head could equal).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "quorlen/core/origin.hpp"

namespace {

bool is_identifier(std::string_view name) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (name.empty() || !(letter(name[0]) || name[0] == '_')) return false;
  for (char c : name.substr(1)) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '_') return false;
  }
  return true;
}

bool is_delimiter(char c) { return std::string_view("\t\n\r !%()*+,-/<=>[]|~").find(c) != std::string_view::npos; }

// Decodes the code point at `at`; anything but well-formed UTF-8 counts as no space.
bool white_space_at(std::string_view text, std::size_t at, std::size_t& width) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  std::uint32_t cp = byte(at);
  width = 1;
  if (cp >= 0x80) {
    width = cp >= 0xf0 ? 4 : cp >= 0xe0 ? 3 : cp >= 0xc0 ? 2 : 0;
    if (width == 0 || at + width > text.size()) return false;
    cp &= 0x7f >> width;
    for (std::size_t k = 1; k < width; ++k) {
      if ((byte(at + k) & 0xc0) != 0x80) return false;
      cp = (cp << 6) | (byte(at + k) & 0x3f);
    }
    // An overlong form is no character at all (0xc0 0x8b is not a vertical tab).
    if (cp < (width == 2 ? 0x80u : width == 3 ? 0x800u : 0x10000u)) return false;
  }
  return (cp >= 0x09 && cp <= 0x0d) || cp == 0x20 || cp == 0x85 || cp == 0xa0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200a) || cp == 0x2028 || cp == 0x2029 || cp == 0x202f ||
         cp == 0x205f || cp == 0x3000;
}

std::string_view trimmed(std::string_view text) {
  std::size_t width = 0;
  while (!text.empty() && white_space_at(text, 0, width)) text.remove_prefix(width);
  while (!text.empty()) {
    std::size_t start = text.size() - 1;
    while (start > 0 && text.size() - start < 4 &&
           (static_cast<unsigned char>(text[start]) & 0xc0) == 0x80) {
      --start;
    }
    if (!white_space_at(text, start, width) || start + width != text.size()) break;
    text.remove_suffix(width);
  }
  return text;
}

std::string reference(std::string_view source, std::string_view name) {
  std::string out;
  std::size_t i = 0;
  while (i < source.size()) {
    if (!(source[i] == '{' && i + 2 < source.size() && source[i + 1] == '{')) {
      out += source[i++];
      continue;
    }
    std::size_t j = i + 2;
    char quote = 0;
    bool closed = false;
    while (j < source.size()) {
      if (quote == 0) {
        if (source[j] == '"' || source[j] == '\'') {
          quote = source[j];
        } else if (source[j] == '}' && j + 1 < source.size() && source[j + 1] == '}') {
          closed = true;
          break;
        }
        ++j;
      } else if (source[j] == '\\') {
        j += 2;
      } else {
        if (source[j] == quote) quote = 0;
        ++j;
      }
    }
    if (!closed) {
      out += source[i++];
      continue;
    }
    std::string_view inner = source.substr(i + 2, j - i - 2);
    bool matched = false;
    std::string word;
    for (std::size_t k = 0; k <= inner.size() && !matched; ++k) {
      if (k < inner.size() && !is_delimiter(inner[k])) {
        word += inner[k];
        continue;
      }
      const std::string head = word.substr(0, word.find('.'));
      matched = is_identifier(head) && head == name;
      word.clear();
    }
    if (!matched) {
      out += source.substr(i, j + 2 - i);
    } else {
      std::string left, right;
      if (!inner.empty() && (inner.front() == '-' || inner.front() == '+')) {
        left = inner.front();
        inner.remove_prefix(1);
      }
      if (!inner.empty() && (inner.back() == '-' || inner.back() == '+')) {
        right = inner.back();
        inner.remove_suffix(1);
      }
      out += "{{" + left + " (" + std::string(trimmed(inner)) + ") | quorlen_guard_wrap " +
             right + "}}";
    }
    i = j + 2;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = input.find('\n');
  std::string_view name = "user_input";
  std::string_view source = input;
  if (line_end != std::string_view::npos) {
    name = input.substr(0, line_end);
    source = input.substr(line_end + 1);
  }
  const std::vector<std::string> untrusted = {std::string(name)};
  const std::string out = quorlen::core::apply_guard_prepass(source, untrusted);
  const bool unnameable = !is_identifier(name) || source.find(name) == std::string_view::npos;
  if (unnameable && out != source) std::abort();
  if (out != reference(source, name)) std::abort();
  if (quorlen::core::apply_guard_prepass(source, {}) != source) std::abort();
  return 0;
}

// The guard pre-pass must copy every byte it does not rewrite. Input: the untrusted name on
// the first line, the template source after it. When no expression can name the untrusted
// variable (the name never occurs in the source, or is no identifier a word head could
// equal), the output must be the input, byte for byte.
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
  if (quorlen::core::apply_guard_prepass(source, {}) != source) std::abort();
  return 0;
}

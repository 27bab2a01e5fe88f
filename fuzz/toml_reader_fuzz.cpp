// Any bytes must give a definition or one report that is valid UTF-8 (it reaches Python as
// a str) and starts with the position line, never a crash, hang or runaway allocation.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace {

bool valid_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto u = static_cast<unsigned char>(s[i]);
    const std::size_t length = u < 0x80 ? 1 : u >= 0xF0 ? 4 : u >= 0xE0 ? 3 : u >= 0xC2 ? 2 : 0;
    if (length == 0 || u > 0xF4 || i + length > s.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto read = quorlen::core::generated::prompt_definition::read_toml_text(text);
  if (read) {
    if (read->name.str().empty()) __builtin_trap();
  } else if (!valid_utf8(read.error()) || !read.error().starts_with("TOML parse error at line ")) {
    __builtin_trap();
  }
  return 0;
}

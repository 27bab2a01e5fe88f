#pragma once

#include <string>
#include <string_view>

namespace quorlen::core {
// Lowercase hexadecimal SHA-256 of the bytes: always 64 characters.
std::string sha256_hex(std::string_view bytes);
}  // namespace quorlen::core

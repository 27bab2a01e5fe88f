#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorlen::core {
// Lowercase hexadecimal SHA-256 of the bytes: always 64 characters. Nothing when the digest
// library itself fails (out of memory, no SHA-256 provider), so that no caller can take a
// made-up digest for provenance.
std::optional<std::string> sha256_hex(std::string_view bytes);
}  // namespace quorlen::core

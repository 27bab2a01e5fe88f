#include "quorlen/core/hashing.hpp"

#include <openssl/evp.h>

#include <array>

namespace quorlen::core {

std::optional<std::string> sha256_hex(std::string_view bytes) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != 32) {
    return std::nullopt;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(64, '0');
  for (unsigned int k = 0; k < 32; ++k) {
    out[2 * k] = kHex[digest[k] >> 4];
    out[2 * k + 1] = kHex[digest[k] & 0x0f];
  }
  return out;
}

}  // namespace quorlen::core

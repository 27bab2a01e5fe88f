#include "quorlen/core/hashing.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorlen::core {
namespace {

struct DigestCase {
  std::string bytes;
  std::string hex;
};

TEST(Sha256Hex, MatchesKnownDigests) {
  const std::vector<DigestCase> cases = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      // An embedded NUL must be hashed, not taken as the end of the text.
      {std::string("a\0b", 3), "59b271ae1bbcb1d31d41929817f4b16fb439eb4f31520b5ad1d5ce98920a7138"},
      {"Gr\xc3\xbc\xc3\x9f" "e", "f83e039796c6453a10f5519e39fd113901572316a1a8ea07cb525d2801dfd074"},
      {std::string(1'000'000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sha256_hex(c.bytes).value_or("failed"), c.hex) << "input of " << c.bytes.size() << " bytes";
  }
}

}  // namespace
}  // namespace quorlen::core

#include <cstdint>

#include "quorlen/core/json.hpp"

namespace quorlen::core::json {

namespace {

// Integers compare by value whichever of the two integer alternatives holds them.
bool same_integer(const Value& a, const Value& b, bool& comparable) {
  auto as_wide = [](const Value& v, bool& negative, std::uint64_t& magnitude) {
    if (auto* i = v.get_if<std::int64_t>()) {
      negative = *i < 0;
      magnitude = negative ? 0 - static_cast<std::uint64_t>(*i) : static_cast<std::uint64_t>(*i);
      return true;
    }
    if (auto* u = v.get_if<std::uint64_t>()) {
      negative = false;
      magnitude = *u;
      return true;
    }
    return false;
  };
  bool neg_a = false, neg_b = false;
  std::uint64_t mag_a = 0, mag_b = 0;
  comparable = as_wide(a, neg_a, mag_a) && as_wide(b, neg_b, mag_b);
  return comparable && neg_a == neg_b && mag_a == mag_b;
}

}  // namespace

bool operator==(const Value& a, const Value& b) {
  bool integers = false;
  bool equal = same_integer(a, b, integers);
  if (integers) return equal;
  return a.v == b.v;
}

}  // namespace quorlen::core::json

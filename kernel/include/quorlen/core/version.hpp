#pragma once
#include <string_view>

namespace quorlen::core {
// The version of the rendering kernel.
inline constexpr std::string_view kVersion = "0.5.0";
}  // namespace quorlen::core

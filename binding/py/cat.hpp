// Message building without <format> (not available in every toolchain we build with).
#pragma once

#include <concepts>
#include <string>
#include <string_view>

namespace quorlen::py {

namespace detail {
inline void append(std::string& out, std::string_view s) { out.append(s); }
inline void append(std::string& out, const char* s) { out.append(s); }
inline void append(std::string& out, const std::string& s) { out.append(s); }
inline void append(std::string& out, char c) { out.push_back(c); }
template <std::integral I>
  requires(!std::same_as<I, char> && !std::same_as<I, bool>)
void append(std::string& out, I n) {
  out.append(std::to_string(n));
}
}  // namespace detail

template <class... Parts>
std::string cat(const Parts&... parts) {
  std::string out;
  (detail::append(out, parts), ...);
  return out;
}

}  // namespace quorlen::py

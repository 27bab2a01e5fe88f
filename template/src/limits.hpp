// Bounds that keep any template and any value from exhausting the stack, memory or time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jinja::limits {

// Nesting of expressions and blocks while parsing.
inline constexpr std::size_t kMaxParseDepth = 128;
// Height of one expression tree (long operator chains included).
inline constexpr std::size_t kMaxExprHeight = 256;
// Nesting of a value that `set` may bind or store: sets in sequence or across loop iterations
// could otherwise nest a value without bound.
inline constexpr std::size_t kMaxValueDepth = 512;
// Values inside a value that `set` may bind or store, shared parts counted each time they
// occur: printing or comparing such a value visits that many.
inline constexpr std::uint32_t kMaxValueWeight = std::uint32_t{1} << 22;
// Nesting of loops (recursive loop calls included) and of filter/set blocks while rendering.
inline constexpr std::size_t kMaxRecursion = 256;
// Elements that range() may produce.
inline constexpr std::uint64_t kMaxRangeLength = 100000;
// Bytes of the rendered output and of any single string a render creates.
inline constexpr std::size_t kMaxOutputBytes = std::size_t{8} << 20;
// Elements of any sequence a render creates (repetition, concatenation, filters).
inline constexpr std::size_t kMaxSeqLength = std::size_t{1} << 20;
// Loop iterations in one render, over all loops: bounds the time of nested loops.
inline constexpr std::uint64_t kMaxIterations = 10'000'000;
// Work of one render, over all operations, in units of roughly a nanosecond: a byte of a
// string read or built costs 1, an element of a sequence or map walked or built costs
// kElementWork, sorting n elements n * log2(n) elements more. Each operation is bounded by the
// limits above; this bounds their sum, so a loop cannot repeat a large operation millions of
// times.
inline constexpr std::uint64_t kMaxWork = std::uint64_t{1} << 32;
inline constexpr std::uint64_t kElementWork = 128;

}  // namespace jinja::limits

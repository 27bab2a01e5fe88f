// The JSON value model shared by every layer: metadata values, derivation overlays and
// the Python conversions all use it. Objects are std::map keyed by std::string, whose
// ordering (char_traits<char>::compare) is byte order, so written objects come out sorted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorlen::core::json {

struct Value;
using Array = std::vector<Value>;
using Object = std::map<std::string, Value>;
using Null = std::monostate;

struct Value {
  // Signed integers hold negatives only by convention of the readers; comparisons treat
  // int64 and uint64 holding the same number as equal.
  std::variant<Null, bool, std::int64_t, std::uint64_t, double, std::string, Array, Object> v;

  Value() = default;
  Value(Null) {}
  Value(bool b) : v(b) {}
  Value(std::int64_t i) : v(i) {}
  Value(std::uint64_t u) : v(u) {}
  Value(double d) : v(d) {}
  Value(std::string s) : v(std::move(s)) {}
  Value(const char* s) : v(std::string(s)) {}
  Value(Array a) : v(std::move(a)) {}
  Value(Object o) : v(std::move(o)) {}

  bool is_null() const { return std::holds_alternative<Null>(v); }
  template <class T> bool is() const { return std::holds_alternative<T>(v); }
  template <class T> const T& as() const { return std::get<T>(v); }
  template <class T> T& as() { return std::get<T>(v); }
  template <class T> const T* get_if() const { return std::get_if<T>(&v); }
  template <class T> T* get_if() { return std::get_if<T>(&v); }

  friend bool operator==(const Value& a, const Value& b);
};

// A JSON text reading failure: the message and the 1-based position where it was found.
struct ParseError {
  std::string message;
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  std::string to_string() const;  // "MESSAGE at line L column C"
};

// How deeply arrays and objects may nest in anything read or converted into a Value; deeper
// input fails with "recursion limit exceeded" instead of exhausting the stack.
inline constexpr std::size_t max_depth = 128;

// Strict RFC 8259: one value, optional surrounding white space, no comments, no trailing
// commas, nesting bounded. Duplicate object keys: the later entry wins.
std::expected<Value, ParseError> parse(std::string_view text);

// Compact text (no white space), object keys in byte order, strings with the minimal
// escapes, non-finite doubles as null.
std::string write(const Value& value);

}  // namespace quorlen::core::json

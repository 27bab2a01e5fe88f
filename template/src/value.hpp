// The engine's view of values: payload access, engine objects and the value operations the
// evaluator and the builtins share.
#pragma once

#include <jinja/jinja.hpp>

#include <algorithm>
#include <compare>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace jinja {

class State;
class Args;

// An engine object: loop, namespace, callable global. Objects are shared by the values that
// hold them; a namespace is the one object whose attributes change after creation.
class Object {
 public:
  virtual ~Object() = default;
  // How the object is named in error details ("loop", "namespace", "function").
  virtual std::string_view type_name() const = 0;
  virtual void print(std::string& out) const = 0;
  // Undefined when the object has no such attribute.
  virtual Value get_attr(std::string_view name) const;
  virtual std::expected<void, Error> set_attr(std::string_view name, Value value) const;
  virtual std::expected<Value, Error> call(State& state, Args& args) const;
  virtual std::expected<Value, Error> call_method(State& state, std::string_view name,
                                                  Args& args) const;
  // The entries a namespace iterates over and prints; null for other objects.
  virtual const Value::Entries* entries() const { return nullptr; }
};

struct ValueAccess {
  static Value make_object(std::shared_ptr<const Object> object) {
    Value v;
    v.kind_ = Value::Kind::Object;
    v.heap_ = std::move(object);
    return v;
  }
  static Value make_namespace(std::shared_ptr<const Object> object) {
    Value v = make_object(std::move(object));
    v.shape_ = 0x8001;
    v.weight_ = 1;
    return v;
  }
  static unsigned depth(const Value& v) { return v.shape_ & 0x7FFFu; }
  static std::uint32_t weight(const Value& v) { return v.weight_ ? v.weight_ : 1; }
  static bool holds_namespace(const Value& v) { return (v.shape_ & 0x8000u) != 0; }
  static bool same_payload(const Value& a, const Value& b) {
    return a.heap_ && a.heap_ == b.heap_;
  }
  // Accumulates the shape of a container from its elements.
  struct Shape {
    unsigned depth = 0;
    std::uint64_t weight = 1;
    bool ns = false;
    void add(const Value& item) {
      depth = std::max(depth, ValueAccess::depth(item));
      weight += ValueAccess::weight(item);
      ns = ns || holds_namespace(item);
    }
    void store(Value& v) const {
      v.shape_ = static_cast<std::uint16_t>(std::min(depth + 1, 0x7FFFu) | (ns ? 0x8000u : 0u));
      v.weight_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(weight, 0xFFFFFFFFu));
    }
  };
  static const Object* object(const Value& v) {
    return v.kind_ == Value::Kind::Object ? static_cast<const Object*>(v.heap_.get()) : nullptr;
  }
  // A sequence that prints as a tuple: `(1, 2)`.
  static Value make_tuple(std::vector<Value> items);
  static bool is_tuple(const Value& v) { return v.kind_ == Value::Kind::Seq && v.safe_; }
  // A (grouper, list) tuple of `groupby` whose two items are also attributes of those names.
  static Value make_group(Value grouper, Value list) {
    Value v = make_tuple({std::move(grouper), std::move(list)});
    v.scalar_.b = true;
    return v;
  }
  static bool is_group(const Value& v) { return is_tuple(v) && v.scalar_.b; }
  // Entries must already be sorted by key and free of duplicates.
  static Value make_sorted_map(Value::Entries entries);
};

inline const Object* as_object(const Value& v) { return ValueAccess::object(v); }
inline Value make_tuple(std::vector<Value> items) {
  return ValueAccess::make_tuple(std::move(items));
}
inline Value make_object(std::shared_ptr<const Object> o) {
  return ValueAccess::make_object(std::move(o));
}

// Fails when a value is too deep or too large to be kept across statements (see limits.hpp).
std::expected<void, Error> check_shape(const Value& v);

// Builds a map from entries in any order (any key kinds); for equal keys the later wins.
Value make_map(Value::Entries entries);
// The value stored under a string key, or undefined.
Value map_get(const Value& map, std::string_view key);
Value map_get(const Value& map, const Value& key);
const Value* entries_find(const Value::Entries& entries, std::string_view key);

// The name of a value's kind in error details ("string", "number", "sequence", ...).
std::string_view kind_name(const Value& v);
bool is_number(const Value& v);
bool is_integer(const Value& v);  // Int or UInt (booleans are not integers)
// Numeric value as double (Bool counts as 0/1).
double to_double(const Value& v);
// Python-like truth of a defined value.
bool is_truthy(const Value& v);
// Equality across kinds: numbers compare by value, containers element by element.
bool values_equal(const Value& a, const Value& b);
// A total order: numbers by value, strings by bytes, sequences element-wise; different kinds
// by a fixed rank (none < bool/number < string < sequence < map < object).
std::strong_ordering compare_values(const Value& a, const Value& b);

// Printing: `to_output_string` is what `{{ }}` writes; `repr` is the form inside containers
// (strings quoted the way Python does).
void append_output(std::string& out, const Value& v);
void append_repr(std::string& out, const Value& v);
std::string repr(const Value& v);
void append_float(std::string& out, double d);

// Number of characters (code points) of a UTF-8 string.
std::size_t utf8_length(std::string_view s);

}  // namespace jinja

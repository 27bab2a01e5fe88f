// Conversions between Python objects and JSON values (and, in one walk, the engine's values).
#pragma once

#include <Python.h>

#include <expected>
#include <string>

#include <jinja/jinja.hpp>

#include "py/ref.hpp"
#include "quorlen/core/json.hpp"

namespace quorlen::py {

// Nesting deeper than this (a self-containing list included) fails instead of exhausting the
// C stack.
inline constexpr int kMaxMarshalDepth = 128;

// A conversion failure. `message` describes it; when `pending` is set, Python code called
// during the walk raised something that is not an ordinary Exception (KeyboardInterrupt,
// SystemExit, ...) and that exception is still set, to be propagated unchanged.
struct MarshalError {
  std::string message;
  bool pending = false;
};
template <class T>
using Marshalled = std::expected<T, MarshalError>;

// Type tests in this order: None, exact bool, int, list/tuple, dict, str, bytes/bytearray,
// float, set/frozenset, any Sequence, any Mapping, a dataclass instance. Integers must fit
// 0..2**64-1 (unsigned) or -2**63..-1 (signed); NaN and the infinities become null; object
// keys must be str and come out sorted by bytes.
Marshalled<core::json::Value> json_from_python(PyObject* object);

// The same walk straight into the engine's value model (no JSON value in between): null ->
// none, bool, signed/unsigned integers and floats keep their kind, arrays -> sequences,
// objects -> maps in key order.
Marshalled<jinja::Value> kernel_value_from_python(PyObject* object);

// New objects every call: null -> None, bools, ints, floats, str, list, dict in key order.
// Fails (ValueError set) only past the nesting bound.
Result<Ref> json_to_python(const core::json::Value& value);
Result<Ref> json_to_python(const core::json::Object& object);

}  // namespace quorlen::py

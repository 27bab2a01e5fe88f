// One walk from Python objects to a value tree, shared by the JSON value and the engine's
// value (so rendering converts the validated dump without an intermediate JSON value).
// A Sink names the target type and how to make each kind:
//   using Value = ...;
//   static Value null(); boolean(bool); int64(int64_t); uint64(uint64_t); real(double);
//   static Value string(std::string_view);
//   static Value array(std::vector<Value>);
//   static Value object(std::vector<std::pair<std::string, Value>>);  // later key wins
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "marshal.hpp"
#include "py/exception_text.hpp"

namespace quorlen::py::marshal_detail {

// The failure for an exception raised by Python code during the walk: ordinary exceptions
// become a message; anything else stays set and propagates.
MarshalError from_pending();
std::unexpected<MarshalError> fail(std::string message);
std::unexpected<MarshalError> unsupported(PyObject* o);

// collections.abc membership and dataclass detection for the objects that are none of the
// builtin kinds. Imports happen only when such an object is met.
enum class Fallback { Sequence, Mapping, Dataclass, None };
Marshalled<Fallback> classify(PyObject* o);
// (name, value) pairs of a dataclass instance's fields, or of a mapping's items.
Marshalled<std::vector<std::pair<Ref, Ref>>> dataclass_fields(PyObject* o);
Marshalled<std::vector<std::pair<Ref, Ref>>> mapping_items(PyObject* o);

template <class Sink>
class FromPython {
 public:
  using Value = typename Sink::Value;

  Marshalled<Value> convert(PyObject* o, int depth) {
    if (o == Py_None) return Sink::null();
    if (PyBool_Check(o)) return Sink::boolean(o == Py_True);
    if (PyLong_Check(o)) return integer(o);
    if (PyList_CheckExact(o)) return list(o, depth);
    if (PyTuple_CheckExact(o)) return tuple(o, depth);
    if (PyList_Check(o) || PyTuple_Check(o)) return iterable(o, depth);
    if (PyDict_Check(o)) return dict(o, depth);
    if (PyUnicode_Check(o)) return string(o);
    if (PyBytes_Check(o) || PyByteArray_Check(o)) return unsupported(o);
    if (PyFloat_Check(o)) {
      const double d = PyFloat_AsDouble(o);
      if (std::isnan(d) || std::isinf(d)) return Sink::null();
      return Sink::real(d);
    }
    if (PyAnySet_Check(o)) return iterable(o, depth);
    auto kind = classify(o);
    if (!kind) return std::unexpected(std::move(kind.error()));
    switch (*kind) {
      case Fallback::Sequence:
        return iterable(o, depth);
      case Fallback::Mapping:
        return pairs(mapping_items(o), depth);
      case Fallback::Dataclass:
        return pairs(dataclass_fields(o), depth);
      case Fallback::None:
        break;
    }
    return unsupported(o);
  }

 private:
  static std::unexpected<MarshalError> too_deep() { return fail("recursion limit exceeded"); }

  Marshalled<Value> integer(PyObject* o) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (v == -1 && PyErr_Occurred()) return std::unexpected(from_pending());
    if (overflow == 0) {
      if (v >= 0) return Sink::uint64(static_cast<std::uint64_t>(v));
      return Sink::int64(static_cast<std::int64_t>(v));
    }
    if (overflow > 0) {
      const unsigned long long u = PyLong_AsUnsignedLongLong(o);
      if (u != static_cast<unsigned long long>(-1) || !PyErr_Occurred())
        return Sink::uint64(static_cast<std::uint64_t>(u));
      PyErr_Clear();
    }
    return fail("JSON number out of range");
  }

  Marshalled<Value> string(PyObject* o) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(o, &size);
    if (!data) return std::unexpected(from_pending());
    return Sink::string(std::string_view(data, static_cast<std::size_t>(size)));
  }

  Marshalled<Value> list(PyObject* o, int depth) {
    if (depth >= kMaxMarshalDepth) return too_deep();
    std::vector<Value> items;
    items.reserve(static_cast<std::size_t>(PyList_Size(o)));
    // Re-read the size each step: Python code met inside may shrink the list.
    for (Py_ssize_t i = 0; i < PyList_Size(o); ++i) {
      Ref item = Ref::borrow(PyList_GetItem(o, i));
      if (!item) return std::unexpected(from_pending());
      auto v = convert(item.get(), depth + 1);
      if (!v) return std::unexpected(std::move(v.error()));
      items.push_back(std::move(*v));
    }
    return Sink::array(std::move(items));
  }

  Marshalled<Value> tuple(PyObject* o, int depth) {
    if (depth >= kMaxMarshalDepth) return too_deep();
    const Py_ssize_t n = PyTuple_Size(o);
    std::vector<Value> items;
    items.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
      auto v = convert(PyTuple_GetItem(o, i), depth + 1);
      if (!v) return std::unexpected(std::move(v.error()));
      items.push_back(std::move(*v));
    }
    return Sink::array(std::move(items));
  }

  Marshalled<Value> iterable(PyObject* o, int depth) {
    if (depth >= kMaxMarshalDepth) return too_deep();
    Ref it = Ref::steal(PyObject_GetIter(o));
    if (!it) return std::unexpected(from_pending());
    std::vector<Value> items;
    while (Ref item = Ref::steal(PyIter_Next(it.get()))) {
      auto v = convert(item.get(), depth + 1);
      if (!v) return std::unexpected(std::move(v.error()));
      items.push_back(std::move(*v));
    }
    if (PyErr_Occurred()) return std::unexpected(from_pending());
    return Sink::array(std::move(items));
  }

  Marshalled<std::pair<std::string, Value>> entry(PyObject* key, PyObject* value, int depth) {
    if (!PyUnicode_Check(key)) return fail("object keys must be str, not " + type_name(key));
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(key, &size);
    if (!data) return std::unexpected(from_pending());
    auto v = convert(value, depth + 1);
    if (!v) return std::unexpected(std::move(v.error()));
    return std::pair{std::string(data, static_cast<std::size_t>(size)), std::move(*v)};
  }

  Marshalled<Value> dict(PyObject* o, int depth) {
    if (depth >= kMaxMarshalDepth) return too_deep();
    std::vector<std::pair<std::string, Value>> entries;
    entries.reserve(static_cast<std::size_t>(PyDict_Size(o)));
    Py_ssize_t pos = 0;
    PyObject *key = nullptr, *value = nullptr;
    while (PyDict_Next(o, &pos, &key, &value)) {
      // Hold both: converting the value may run Python code that changes the dict.
      Ref k = Ref::borrow(key), v = Ref::borrow(value);
      auto e = entry(k.get(), v.get(), depth);
      if (!e) return std::unexpected(std::move(e.error()));
      entries.push_back(std::move(*e));
    }
    return Sink::object(std::move(entries));
  }

  Marshalled<Value> pairs(Marshalled<std::vector<std::pair<Ref, Ref>>> items, int depth) {
    if (!items) return std::unexpected(std::move(items.error()));
    if (depth >= kMaxMarshalDepth) return too_deep();
    std::vector<std::pair<std::string, Value>> entries;
    entries.reserve(items->size());
    for (auto& [k, v] : *items) {
      auto e = entry(k.get(), v.get(), depth);
      if (!e) return std::unexpected(std::move(e.error()));
      entries.push_back(std::move(*e));
    }
    return Sink::object(std::move(entries));
  }
};

}  // namespace quorlen::py::marshal_detail

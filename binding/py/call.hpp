// The catch-all around every Python-visible callable: no C++ exception reaches the
// interpreter. Memory exhaustion becomes MemoryError; anything else is a broken invariant of
// ours and becomes the internal-failure exception, which derives from BaseException only so
// that `except Exception` in user code does not mistake it for an ordinary error.
#pragma once

#include <Python.h>

#include <exception>
#include <new>
#include <utility>

namespace quorlen::py {

// The internal-failure class (created once per process; null with an exception set if it
// cannot be made).
PyObject* internal_error_type();
void raise_internal(const char* what);

// Runs `body`; on a C++ exception sets the Python error and returns `failure`.
template <class Body, class R = decltype(std::declval<Body>()())>
R guarded(Body&& body, R failure = R{}) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_internal(e.what());
  } catch (...) {
    raise_internal("unknown internal failure");
  }
  return failure;
}

// Adapters from plain functions to the C signatures of PyMethodDef and type slots.
// `Fn` returns a new reference or null with an exception set.
template <PyObject* (*Fn)(PyObject*)>
PyObject* noargs(PyObject* self, PyObject*) noexcept {
  return guarded([&] { return Fn(self); });
}

template <PyObject* (*Fn)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)>
PyObject* fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept {
  return guarded([&] { return Fn(self, args, nargs, kwnames); });
}

template <PyObject* (*Fn)(PyTypeObject*, PyObject*, PyObject*)>
PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&] { return Fn(type, args, kwargs); });
}

template <PyObject* (*Fn)(PyObject*)>
PyObject* getter(PyObject* self, void*) noexcept {
  return guarded([&] { return Fn(self); });
}

template <PyObject* (*Fn)(PyObject*)>
PyObject* unary(PyObject* self) noexcept {
  return guarded([&] { return Fn(self); });
}

template <Py_ssize_t (*Fn)(PyObject*)>
Py_ssize_t length(PyObject* self) noexcept {
  return guarded([&] { return Fn(self); }, Py_ssize_t{-1});
}

}  // namespace quorlen::py

// Heap types whose instances carry one C++ value, and the once-per-process type objects.
//
// Each class of the module is a heap type made from a PyType_Spec: never a base type, no
// `__dict__`, no weak references. Its instances hold a plain C++ payload `T` placed after the
// object header, built before the object exists (so a half-made object is never seen) and
// destroyed in tp_dealloc.
#pragma once

#include <Python.h>

#include <new>
#include <utility>

#include "py/ref.hpp"

namespace quorlen::py {

template <class T>
struct Instance {
  PyObject_HEAD
  T value;
};

template <class T>
T& payload(PyObject* self) {
  return reinterpret_cast<Instance<T>*>(self)->value;
}

// tp_dealloc for a type without garbage-collector support.
template <class T>
void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  payload<T>(self).~T();
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);
}

// tp_dealloc for a type with Py_TPFLAGS_HAVE_GC (its payload holds Python references).
template <class T>
void dealloc_gc(PyObject* self) {
  PyObject_GC_UnTrack(self);
  dealloc<T>(self);
}

// A new instance of `type` holding `value`.
template <class T>
Ref make_instance(PyTypeObject* type, T value) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  Ref self = Ref::steal(alloc(type, 0));
  if (self) new (&payload<T>(self.get())) T(std::move(value));
  return self;
}

// The flags every class of the module has; add Py_TPFLAGS_DISALLOW_INSTANTIATION for a class
// that Python may not call, Py_TPFLAGS_HAVE_GC for one that holds Python references.
inline constexpr unsigned long kClassFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;

// Type objects are made once per process and shared by every import of the module. `slot` is
// the caller's process-lifetime holder; the interpreter lock serialises first use, and should
// `make` let another thread in (by running Python code), the first object stored wins.
template <class Make>
PyTypeObject* once(PyObject*& slot, Make make) {
  if (slot) return reinterpret_cast<PyTypeObject*>(slot);
  PyObject* made = make();
  if (!made) return nullptr;
  if (slot) {
    Py_DECREF(made);
  } else {
    slot = made;
  }
  return reinterpret_cast<PyTypeObject*>(slot);
}

}  // namespace quorlen::py

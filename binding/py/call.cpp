#include "py/call.hpp"

#include "py/object.hpp"

namespace quorlen::py {

PyObject* internal_error_type() {
  static PyObject* type = nullptr;  // one class for the life of the process
  return reinterpret_cast<PyObject*>(once(type, [] {
    return PyErr_NewExceptionWithDoc(
        "quorlen.InternalError",
        "A broken internal invariant of quorlen; no input is expected to reach it.\n\n"
        "Derives from BaseException only, so `except Exception` does not hide it.",
        PyExc_BaseException, nullptr);
  }));
}

void raise_internal(const char* what) {
  if (PyObject* type = internal_error_type()) PyErr_SetString(type, what);
}

}  // namespace quorlen::py

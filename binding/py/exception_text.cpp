#include "py/exception_text.hpp"

#include "py/ref.hpp"

namespace quorlen::py {
namespace {

std::string text_of(PyObject* s) {
  if (!s) {
    PyErr_Clear();
    return "";
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(s, &size);
  if (!data) {
    // A str() holding lone surrogates: keep what can be shown.
    PyErr_Clear();
    Ref bytes = Ref::steal(PyUnicode_AsEncodedString(s, "utf-8", "replace"));
    if (!bytes) {
      PyErr_Clear();
      return "";
    }
    char* raw = nullptr;
    Py_ssize_t n = 0;
    if (PyBytes_AsStringAndSize(bytes.get(), &raw, &n) < 0) {
      PyErr_Clear();
      return "";
    }
    return std::string(raw, static_cast<std::size_t>(n));
  }
  return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace

std::string take_exception_text() {
  Ref exc = Ref::steal(PyErr_GetRaisedException());
  if (!exc) return "";
  Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(exc.get())));
  std::string out = text_of(name.get());
  out += ": ";
  Ref message = Ref::steal(PyObject_Str(exc.get()));
  out += text_of(message.get());
  return out;
}

}  // namespace quorlen::py

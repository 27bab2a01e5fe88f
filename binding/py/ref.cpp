#include "py/ref.hpp"

#include <string>

namespace quorlen::py {

std::unexpected<Raised> raise(PyObject* type, std::string_view message) {
  if (Ref text = str(message)) PyErr_SetObject(type, text.get());
  return raised();
}

Result<std::string_view> utf8(PyObject* s) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(s, &size);
  if (!data) return raised();
  return std::string_view(data, static_cast<std::size_t>(size));
}

std::string type_name(PyObject* o) {
  Ref name = Ref::steal(PyType_GetName(Py_TYPE(o)));
  if (!name) {
    PyErr_Clear();
    return "?";
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(name.get(), &size);
  if (!data) {
    PyErr_Clear();
    return "?";
  }
  return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace quorlen::py

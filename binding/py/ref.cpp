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

std::string utf8_replacing(PyObject* s) {
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(s, &size))
    return std::string(data, static_cast<std::size_t>(size));
  PyErr_Clear();
  Py_UCS4* chars = PyUnicode_AsUCS4Copy(s);
  if (!chars) {
    PyErr_Clear();
    return "";
  }
  const Py_ssize_t n = PyUnicode_GetLength(s);
  std::string out;
  out.reserve(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    Py_UCS4 c = chars[i];
    if (c >= 0xd800 && c <= 0xdfff) c = 0xfffd;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xc0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xe0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else {
      out.push_back(static_cast<char>(0xf0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    }
  }
  PyMem_Free(chars);
  return out;
}

bool discard_exception() {
  if (!PyErr_ExceptionMatches(PyExc_Exception)) return false;
  PyErr_Clear();
  return true;
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

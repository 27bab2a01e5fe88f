#include "py/exception_text.hpp"

#include "py/ref.hpp"

namespace quorlen::py {
namespace {

std::string text_of(PyObject* s) {
  if (!s) {
    PyErr_Clear();
    return "";
  }
  return utf8_replacing(s);
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

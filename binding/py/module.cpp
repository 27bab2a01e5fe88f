#include "py/module.hpp"

namespace quorlen::py {
namespace {

Result<Ref> all_list(PyObject* module) {
  Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return raised();
    PyErr_Clear();
    all = Ref::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return raised();
  } else if (!PyList_Check(all.get())) {
    return raise(PyExc_TypeError, "module __all__ must be a list");
  }
  return all;
}

Result<void> add_named_by_dunder(PyObject* module, PyObject* object) {
  Ref name = Ref::steal(PyObject_GetAttrString(object, "__name__"));
  if (!name) return raised();
  if (!PyUnicode_Check(name.get())) return raise(PyExc_TypeError, "__name__ must be a str");
  auto text = utf8(name.get());
  if (!text) return raised();
  return add_name(module, *text, object);
}

}  // namespace

Result<void> add_name(PyObject* module, std::string_view name, PyObject* object) {
  auto all = all_list(module);
  if (!all) return raised();
  Ref key = str(name);
  if (!key || PyList_Append(all->get(), key.get()) < 0) return raised();
  if (PyObject_SetAttr(module, key.get(), object) < 0) return raised();
  return {};
}

Result<void> add_function(PyObject* module, PyMethodDef* def) {
  Ref module_name = Ref::steal(PyModule_GetNameObject(module));
  if (!module_name) return raised();
  Ref fn = Ref::steal(PyCFunction_NewEx(def, nullptr, module_name.get()));
  if (!fn) return raised();
  return add_named_by_dunder(module, fn.get());
}

Result<void> add_type(PyObject* module, PyTypeObject* type) {
  if (!type) return raised();
  return add_named_by_dunder(module, reinterpret_cast<PyObject*>(type));
}

}  // namespace quorlen::py

// Module initialisation: multi-phase, one execution slot, no module state.
#include <Python.h>

#include <string_view>

#include "quorlen/core/version.hpp"

namespace {

PyObject* core_version(PyObject*, PyObject*) {
  const auto v = quorlen::core::kVersion;
  return PyUnicode_FromStringAndSize(v.data(), static_cast<Py_ssize_t>(v.size()));
}

PyMethodDef core_version_def = {"core_version", core_version, METH_NOARGS,
                                "core_version()\n--\n\nThe version of the rendering kernel."};

int add_name(PyObject* module, const char* name, PyObject* obj) {
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    all = PyList_New(0);
    if (!all || PyObject_SetAttrString(module, "__all__", all) < 0) {
      Py_XDECREF(all);
      return -1;
    }
  } else if (!PyList_Check(all)) {
    Py_DECREF(all);
    PyErr_SetString(PyExc_TypeError, "module __all__ is not a list");
    return -1;
  }
  PyObject* s = PyUnicode_FromString(name);
  int rc = s ? PyList_Append(all, s) : -1;
  Py_XDECREF(s);
  Py_DECREF(all);
  if (rc < 0) return -1;
  return PyObject_SetAttrString(module, name, obj);
}

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "quorlen: not a module object");
    return -1;
  }
  PyObject* fn = PyCFunction_NewEx(&core_version_def, nullptr, nullptr);
  if (!fn) return -1;
  int rc = add_name(module, "core_version", fn);
  Py_DECREF(fn);
  return rc;
}

PyModuleDef_Slot slots[] = {{Py_mod_exec, reinterpret_cast<void*>(exec_module)}, {0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "quorlen",
                          "Validated, immutable prompt definitions.", 0, nullptr, slots,
                          nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_quorlen(void) { return PyModuleDef_Init(&module_def); }

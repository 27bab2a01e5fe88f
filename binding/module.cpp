// Module initialisation: multi-phase, one execution slot, no module state. The execution
// slot registers every name in a fixed order; that order is also `__all__`.
#include <Python.h>

#include "check.hpp"
#include "compose.hpp"
#include "error.hpp"
#include "merge_strategy.hpp"
#include "prompt.hpp"
#include "py/call.hpp"
#include "py/module.hpp"
#include "quorlen/core/version.hpp"
#include "render.hpp"

namespace quorlen::py {
namespace {

PyObject* core_version(PyObject*) { return str(core::kVersion).release(); }

PyMethodDef core_version_def = {
    "core_version", noargs<core_version>, METH_NOARGS,
    "core_version()\n--\n\nReturn the version of the rendering kernel, a str."};

// The type objects are shared by every import in the process, which is only sound within
// one interpreter: another interpreter would see objects owned by the first.
Result<void> require_main_interpreter() {
  if (PyInterpreterState_GetID(PyInterpreterState_Get()) != 0)
    return raise(PyExc_ImportError, "quorlen can only be imported in the main interpreter");
  return {};
}

Result<void> register_all(PyObject* module) {
  if (!add_function(module, &core_version_def)) return raised();
  if (!register_errors(module)) return raised();
  for (PyTypeObject* type :
       {render_result_type(), guard_config_type(), check_report_type(), finding_type(),
        composition_type(), message_type(), prompt_type(), merge_strategy_type()}) {
    if (!add_type(module, type)) return raised();
  }
  return {};
}

int exec_module(PyObject* module) {
  return guarded(
      [&]() -> int {
        if (!PyModule_Check(module)) {
          PyErr_SetString(PyExc_TypeError, "quorlen: the execution slot needs a module object");
          return -1;
        }
        if (!require_main_interpreter() || !register_all(module)) return -1;
        return 0;
      },
      -1);
}

PyModuleDef_Slot slots[] = {{Py_mod_exec, reinterpret_cast<void*>(exec_module)}, {0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT,
                          "quorlen",
                          "Validated, immutable prompt definitions rendered by a native "
                          "template engine.",
                          0,
                          nullptr,
                          slots,
                          nullptr,
                          nullptr,
                          nullptr};

}  // namespace
}  // namespace quorlen::py

PyMODINIT_FUNC PyInit_quorlen(void) { return PyModuleDef_Init(&quorlen::py::module_def); }

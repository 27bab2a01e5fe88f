// Adding names to the module: each one is appended to `__all__` and then set as an attribute,
// so `__all__` lists the namespace in registration order.
#pragma once

#include <Python.h>

#include <string_view>

#include "py/ref.hpp"

namespace quorlen::py {

Result<void> add_name(PyObject* module, std::string_view name, PyObject* object);
// Wraps `def` as a built-in function of the module and adds it under its `__name__`.
Result<void> add_function(PyObject* module, PyMethodDef* def);
// Adds a class under its `__name__`.
Result<void> add_type(PyObject* module, PyTypeObject* type);

}  // namespace quorlen::py

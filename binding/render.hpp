// The render path of Prompt.render, and the GuardConfig and RenderResult classes.
#pragma once

#include <Python.h>

#include <jinja/jinja.hpp>

#include "py/ref.hpp"

namespace quorlen::py {

PyTypeObject* render_result_type();
PyTypeObject* guard_config_type();

// Prompt.render (METH_FASTCALL | METH_KEYWORDS on a Prompt instance).
PyObject* prompt_render(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames);
inline constexpr const char* kRenderDoc =
    "render($self, model=None, *, data=None, variant=None, guard=None, "
    "unsafe_reveal_render_detail=False)\n--\n\n"
    "Validate the variables with Pydantic, then render; return a new RenderResult.\n\n"
    "Validation comes first and no template is touched when it fails:\n"
    "- render(M, data=d) validates d with M.model_validate;\n"
    "- render(instance) re-validates through type(instance).model_validate(\n"
    "  instance.model_dump(mode=\"json\"));\n"
    "- render(data=d) uses the validators bound at construction.\n"
    "A Pydantic failure raises PromptValidationError with one row per error, built from\n"
    "`loc` and `msg` only (never `input` or `ctx`). The validated JSON-mode dump is rendered\n"
    "with strict undefined variables; `variant` selects a named body (None: the root body)\n"
    "and `guard` (a GuardConfig) wraps untrusted values. Render failures raise\n"
    "PromptRenderError with the detail withheld; unsafe_reveal_render_detail=True puts the\n"
    "engine's detail, which may quote bound values, into the exception and so into logs:\n"
    "set it only in a controlled debugging context. A dump that cannot be converted raises\n"
    "LoadError.";

// The validated model's JSON-mode dump; a Pydantic validation error is raised as
// PromptValidationError, anything else raised by Python code propagates unchanged.
// `data` may be null (then `model` is an instance and is re-validated through its type).
Result<Ref> validate_in_python(PyObject* model, PyObject* data);

// A LoadError ("could not marshal Python value: ...") when the object has no kernel value.
Result<jinja::Value> to_kernel_value(PyObject* object);

}  // namespace quorlen::py

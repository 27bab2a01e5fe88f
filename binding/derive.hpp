// Prompt.derive: a new Prompt from an overlay dict of top-level fields.
#pragma once

#include <Python.h>

namespace quorlen::py {

// Prompt.derive (METH_FASTCALL | METH_KEYWORDS on a Prompt instance).
PyObject* prompt_derive(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames);
inline constexpr const char* kDeriveDoc =
    "derive($self, overlay, *, validators=None, strategy=None)\n--\n\n"
    "Return a new Prompt made from this one and `overlay`, a dict of top-level fields\n"
    "(name, role, body, variables, variants, output_model, metadata; other keys are\n"
    "ignored). This prompt never changes: derive is the only way to a changed prompt.\n\n"
    "With strategy=MergeStrategy.REPLACE (the default) every field in the overlay replaces\n"
    "the field whole; with MergeStrategy.MERGE, variables, variants and metadata take the\n"
    "union of their keys, the overlay's entry winning. `output_model: None` removes the\n"
    "output model. The result is validated like any new prompt. `validators` replaces the\n"
    "bound validators (None: keep this prompt's) and must cover every variable marked\n"
    "validation_required.\n\n"
    "Raises LoadError for an overlay that is not a dict or holds a field of the wrong type,\n"
    "PromptRenderError when the merged definition breaks an invariant, and\n"
    "PromptValidationError when the validators do not cover it.";

}  // namespace quorlen::py

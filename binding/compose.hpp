// Composition and Message: an ordered list of prompts with validated variables, resolved
// into role-tagged messages.
#pragma once

#include <Python.h>

namespace quorlen::py {

PyTypeObject* composition_type();
PyTypeObject* message_type();

}  // namespace quorlen::py

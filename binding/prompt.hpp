// The Python Prompt class: an immutable, validated prompt and its bound validators.
#pragma once

#include <Python.h>

#include "py/ref.hpp"
#include "quorlen/consumer/prompt.hpp"

namespace quorlen::py {

struct PromptData {
  consumer::Prompt prompt;
  Ref validators;  // null when none were given
};

PyTypeObject* prompt_type();

// Every variable marked validation_required must be a field of the `validators` model (null:
// none given); otherwise a PromptValidationError with one row is raised.
Result<void> check_validator_coverage(const consumer::PromptDefinition& definition,
                                      PyObject* validators);

}  // namespace quorlen::py

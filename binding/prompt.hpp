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

}  // namespace quorlen::py

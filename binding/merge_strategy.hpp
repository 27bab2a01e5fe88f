// MergeStrategy: the two shared members that select how Prompt.derive merges map fields.
#pragma once

#include <Python.h>

#include "quorlen/consumer/prompt.hpp"

namespace quorlen::py {

PyTypeObject* merge_strategy_type();

// The strategy a member stands for; `member` must be an instance of merge_strategy_type().
consumer::MergeStrategy merge_strategy_of(PyObject* member);

}  // namespace quorlen::py

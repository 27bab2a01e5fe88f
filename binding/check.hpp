// CheckReport and Finding: the read-only Python mirror of the advisory check's report.
#pragma once

#include <Python.h>

#include "py/ref.hpp"
#include "quorlen/consumer/check.hpp"

namespace quorlen::py {

PyTypeObject* check_report_type();
PyTypeObject* finding_type();

Ref make_check_report(consumer::CheckReport report);

}  // namespace quorlen::py

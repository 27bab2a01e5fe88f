#include "check.hpp"

#include <optional>
#include <string>

#include "py/call.hpp"
#include "py/object.hpp"
#include "quote.hpp"

namespace quorlen::py {
namespace {

struct FindingData {
  std::string prompt;
  std::optional<std::string> variant;
  std::string kind;
  std::string detail;
};

// ---- Finding ---------------------------------------------------------------------------

template <std::string FindingData::*Member>
PyObject* finding_text(PyObject* self) {
  return str(payload<FindingData>(self).*Member).release();
}

PyObject* finding_variant(PyObject* self) {
  const auto& variant = payload<FindingData>(self).variant;
  if (!variant) Py_RETURN_NONE;
  return str(*variant).release();
}

PyObject* finding_repr(PyObject* self) {
  const FindingData& f = payload<FindingData>(self);
  std::string out = "Finding(prompt=";
  append_quoted(out, f.prompt);
  out += ", variant=" + quoted_option(f.variant) + ", kind=";
  append_quoted(out, f.kind);
  out += ", detail=";
  append_quoted(out, f.detail);
  out += ')';
  return str(out).release();
}

PyGetSetDef finding_getset[] = {
    {"prompt", getter<finding_text<&FindingData::prompt>>, nullptr, "The prompt's name.",
     nullptr},
    {"variant", getter<finding_variant>, nullptr,
     "The variant the finding concerns, or None for a prompt-level finding.", nullptr},
    {"kind", getter<finding_text<&FindingData::kind>>, nullptr,
     "The finding's kind, e.g. \"untrusted_without_guard\".", nullptr},
    {"detail", getter<finding_text<&FindingData::detail>>, nullptr,
     "What to change; names only, never a bound value.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot finding_slots[] = {
    {Py_tp_doc, const_cast<char*>("One finding of Prompt.check(): the prompt, the variant where "
                                  "it applies, the kind and an actionable detail.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<FindingData>)},
    {Py_tp_repr, reinterpret_cast<void*>(unary<finding_repr>)},
    {Py_tp_getset, finding_getset},
    {0, nullptr},
};

PyType_Spec finding_spec = {"quorlen.Finding", static_cast<int>(sizeof(Instance<FindingData>)),
                            0, kClassFlags | Py_TPFLAGS_DISALLOW_INSTANTIATION, finding_slots};

// ---- CheckReport -----------------------------------------------------------------------

using Report = consumer::CheckReport;

PyObject* report_findings(PyObject* self) {
  PyTypeObject* type = finding_type();
  if (!type) return nullptr;
  const Report& report = payload<Report>(self);
  Ref list = Ref::steal(PyList_New(0));
  if (!list) return nullptr;
  for (const consumer::Finding& f : report.findings) {
    Ref item = make_instance(
        type, FindingData{f.prompt, f.variant, std::string(consumer::to_string(f.kind)), f.detail});
    if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}

PyObject* report_passed(PyObject* self) {
  return PyBool_FromLong(payload<Report>(self).passed());
}

Py_ssize_t report_len(PyObject* self) {
  return static_cast<Py_ssize_t>(payload<Report>(self).findings.size());
}

PyObject* report_repr(PyObject* self) {
  return str("CheckReport(findings=" + std::to_string(payload<Report>(self).findings.size()) +
             ")")
      .release();
}

PyGetSetDef report_getset[] = {
    {"findings", getter<report_findings>, nullptr,
     "A new list of the findings, in order, on every read.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef report_methods[] = {
    {"passed", noargs<report_passed>, METH_NOARGS,
     "passed($self)\n--\n\nTrue when the report has no findings: the lint passed."},
    {"is_empty", noargs<report_passed>, METH_NOARGS,
     "is_empty($self)\n--\n\nThe same as passed(): True when there are no findings."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot report_slots[] = {
    {Py_tp_doc, const_cast<char*>("The ordered, read-only output of Prompt.check(); empty means "
                                  "the lint passed. len() is the number of findings.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Report>)},
    {Py_tp_repr, reinterpret_cast<void*>(unary<report_repr>)},
    {Py_tp_getset, report_getset},
    {Py_tp_methods, report_methods},
    {Py_sq_length, reinterpret_cast<void*>(length<report_len>)},
    {0, nullptr},
};

PyType_Spec report_spec = {"quorlen.CheckReport", static_cast<int>(sizeof(Instance<Report>)), 0,
                           kClassFlags | Py_TPFLAGS_DISALLOW_INSTANTIATION, report_slots};

}  // namespace

PyTypeObject* check_report_type() {
  static PyObject* type = nullptr;  // one class for the life of the process
  return once(type, [] { return PyType_FromSpec(&report_spec); });
}

PyTypeObject* finding_type() {
  static PyObject* type = nullptr;
  return once(type, [] { return PyType_FromSpec(&finding_spec); });
}

Ref make_check_report(consumer::CheckReport report) {
  PyTypeObject* type = check_report_type();
  if (!type) return Ref();
  return make_instance(type, std::move(report));
}

}  // namespace quorlen::py

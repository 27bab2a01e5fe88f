#include "error.hpp"

#include "py/args.hpp"
#include "quorlen/consumer/error.hpp"
#include "py/call.hpp"
#include "py/module.hpp"
#include "py/object.hpp"
#include "quote.hpp"

namespace quorlen::py {
namespace {

// ---- FieldError ------------------------------------------------------------------------

template <std::string FieldRow::*Member>
PyObject* row_text(PyObject* self) {
  return str(payload<FieldRow>(self).*Member).release();
}

PyObject* field_error_repr(PyObject* self) {
  const FieldRow& row = payload<FieldRow>(self);
  std::string out = "FieldError(field=";
  append_quoted(out, row.field);
  out += ", code=";
  append_quoted(out, row.code);
  out += ", message=";
  append_quoted(out, row.message);
  out += ')';
  return str(out).release();
}

PyGetSetDef field_error_getset[] = {
    {"field", getter<row_text<&FieldRow::field>>, nullptr,
     "The offending field or dotted path; \"\" when no single field applies.", nullptr},
    {"code", getter<row_text<&FieldRow::code>>, nullptr,
     "The error code, one of a closed vocabulary (\"validation\", \"render\", \"parse\", "
     "\"load\", ...).",
     nullptr},
    {"message", getter<row_text<&FieldRow::message>>, nullptr,
     "A readable message that is safe to log: it never holds a bound value.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot field_error_slots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "One read-only error row: field, code and message.\n\n"
                    "Made by quorlen when it raises; never constructed from Python.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<FieldRow>)},
    {Py_tp_repr, reinterpret_cast<void*>(unary<field_error_repr>)},
    {Py_tp_getset, field_error_getset},
    {0, nullptr},
};

PyType_Spec field_error_spec = {
    "quorlen.FieldError", static_cast<int>(sizeof(Instance<FieldRow>)), 0,
    kClassFlags | Py_TPFLAGS_DISALLOW_INSTANTIATION, field_error_slots};

Ref make_row(const FieldRow& row) {
  PyTypeObject* type = field_error_type();
  if (!type) return Ref();
  return make_instance(type, row);
}

// ---- exception classes -----------------------------------------------------------------

PyObject* exception_type(PyObject*& slot, const char* name, const char* doc, PyObject* base) {
  if (!base) return nullptr;
  return reinterpret_cast<PyObject*>(
      once(slot, [&] { return PyErr_NewExceptionWithDoc(name, doc, base, nullptr); }));
}

// The new exception instance: `summary` as its only argument, `errors` a new list of rows.
Ref build_exception(PyObject* type, const std::string& summary, std::span<const FieldRow> rows) {
  if (!type) return Ref();
  Ref list = Ref::steal(PyList_New(0));
  if (!list) return Ref();
  for (const FieldRow& row : rows) {
    Ref item = make_row(row);
    if (!item || PyList_Append(list.get(), item.get()) < 0) return Ref();
  }
  Ref message = str(summary);
  if (!message) return Ref();
  PyObject* argv[] = {message.get()};
  Ref exc = Ref::steal(PyObject_Vectorcall(type, argv, 1, nullptr));
  if (!exc || PyObject_SetAttrString(exc.get(), "errors", list.get()) < 0) return Ref();
  return exc;
}

// The exception of the failing step, taken as the result.
Ref or_pending(Ref exc) {
  if (exc) return exc;
  return Ref::steal(PyErr_GetRaisedException());
}

// ---- make_prompt_load_error ------------------------------------------------------------

constexpr Signature<2> kMakeLoadErrorSig{
    "make_prompt_load_error",
    {{{"error_code", kPositional, kRequired}, {"message", kPositional, kRequired}}}};

PyObject* make_prompt_load_error(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  auto bound = bind(kMakeLoadErrorSig, args, nargs, kwnames);
  if (!bound) return nullptr;
  auto code = bound->str(0);
  if (!code) return nullptr;
  auto message = bound->str(1);
  if (!message) return nullptr;
  const FieldRow row{"", std::string(*code), std::string(*message)};
  const std::string summary = "prompt load failed: " + row.message + " [" + row.code + "]";
  return or_pending(build_exception(prompt_load_error_type(), summary, {&row, 1})).release();
}

PyMethodDef make_prompt_load_error_def = {
    "make_prompt_load_error",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fastcall<make_prompt_load_error>)),
    METH_FASTCALL | METH_KEYWORDS,
    "make_prompt_load_error(error_code, message)\n--\n\n"
    "Return (not raise) a new PromptLoadError for a loader's failure.\n\n"
    "Its summary is \"prompt load failed: MESSAGE [ERROR_CODE]\" and its errors hold one row\n"
    "{field \"\", code error_code, message}. Use \"load_not_found\" when the key is absent\n"
    "and \"load_io\" for an I/O error or an exceeded size. Raises TypeError when either\n"
    "argument is not a str."};

}  // namespace

// ---- public ----------------------------------------------------------------------------

PyTypeObject* field_error_type() {
  static PyObject* type = nullptr;  // one class for the life of the process
  return once(type, [] { return PyType_FromSpec(&field_error_spec); });
}

PyObject* quorlen_error_type() {
  static PyObject* type = nullptr;
  return exception_type(type, "quorlen.QuorlenError",
                        "Base of every error of quorlen.\n\n"
                        "`errors` holds a list of FieldError rows (field, code, message).",
                        PyExc_Exception);
}

PyObject* validation_error_type() {
  static PyObject* type = nullptr;
  return exception_type(type, "quorlen.PromptValidationError",
                        "Typed-variable validation failed: one FieldError row per offending "
                        "field, code \"validation\".",
                        quorlen_error_type());
}

PyObject* render_error_type() {
  static PyObject* type = nullptr;
  return exception_type(
      type, "quorlen.PromptRenderError",
      "A template render, source lookup or analysis failed.\n\n"
      "Render and excluded-feature messages are scrubbed of bound values; parse messages keep "
      "the template-syntax detail.",
      quorlen_error_type());
}

PyObject* load_error_type() {
  static PyObject* type = nullptr;
  return exception_type(type, "quorlen.LoadError",
                        "Malformed definition text or a shape violation; nothing was "
                        "partially loaded. One row, code \"load\".",
                        quorlen_error_type());
}

PyObject* prompt_load_error_type() {
  static PyObject* type = nullptr;
  return exception_type(
      type, "quorlen.PromptLoadError",
      "A loader call failed: \"load_not_found\" when the key is absent, \"load_io\" on an I/O "
      "error or an exceeded maximum size. Distinct from LoadError; built with "
      "make_prompt_load_error().",
      quorlen_error_type());
}

std::string summarize(std::string_view head, std::span<const FieldRow> rows) {
  std::string out(head);
  out += " (" + std::to_string(rows.size()) + " error(s))";
  for (const FieldRow& row : rows) {
    out += "; ";
    out += row.field;
    out += ": ";
    out += row.message;
    out += " [";
    out += row.code;
    out += ']';
  }
  return out;
}

Ref make_error(ErrorKind kind, std::vector<FieldRow> rows) {
  switch (kind) {
    case ErrorKind::Validation:
      return or_pending(
          build_exception(validation_error_type(), summarize("validation failed", rows), rows));
    case ErrorKind::Render:
      return or_pending(
          build_exception(render_error_type(), summarize("render failed", rows), rows));
    case ErrorKind::Load:
      break;
  }
  const std::string summary =
      "failed to load prompt definition: " + (rows.empty() ? std::string() : rows[0].message);
  return or_pending(build_exception(load_error_type(), summary, rows));
}

Ref consumer_error_to_pyerr(consumer::ConsumerError error) {
  using Kind = consumer::ConsumerError::Kind;
  std::vector<FieldRow> rows;
  if (error.kind == Kind::Load) {
    rows.push_back(FieldRow{"", std::string(consumer::codes::kLoad), std::move(error.text)});
    return make_error(ErrorKind::Load, std::move(rows));
  }
  rows.reserve(error.rows.size());
  for (auto& row : error.rows)
    rows.push_back(FieldRow{std::move(row.field), std::move(row.code), std::move(row.message)});
  return make_error(error.kind == Kind::Validation ? ErrorKind::Validation : ErrorKind::Render,
                    std::move(rows));
}

std::unexpected<Raised> raise_error(Ref exception) {
  if (exception) PyErr_SetRaisedException(exception.release());
  return raised();
}

Result<void> register_errors(PyObject* module) {
  if (!add_type(module, field_error_type())) return raised();
  for (PyObject* type : {quorlen_error_type(), validation_error_type(), render_error_type(),
                         load_error_type(), prompt_load_error_type()}) {
    if (!type) return raised();
    // Exception classes carry their qualified name; the module attribute is the short one.
    if (!add_type(module, reinterpret_cast<PyTypeObject*>(type))) return raised();
  }
  return add_function(module, &make_prompt_load_error_def);
}

}  // namespace quorlen::py

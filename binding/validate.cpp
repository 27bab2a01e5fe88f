// Validation in Python: the caller's Pydantic model validates the variables before any
// template is touched, and a Pydantic failure becomes one row per error (loc and msg only).
#include <string>
#include <vector>

#include "error.hpp"
#include "render.hpp"

namespace quorlen::py {
namespace {

Ref interned(const char* text) { return Ref::steal(PyUnicode_InternFromString(text)); }

// The names every render call passes to Python, made once per process like the type objects
// (immutable strings; making them per call was a measurable share of a render).
PyObject* name_once(PyObject*& slot, const char* text) {
  if (!slot) slot = PyUnicode_InternFromString(text);
  return slot;
}
PyObject* model_dump_name() {
  static PyObject* name = nullptr;
  return name_once(name, "model_dump");
}
PyObject* model_validate_name() {
  static PyObject* name = nullptr;
  return name_once(name, "model_validate");
}
PyObject* json_name() {
  static PyObject* name = nullptr;
  return name_once(name, "json");
}
// ("mode",): the keyword names of model_dump(mode=...).
PyObject* mode_kwnames() {
  static PyObject* kwnames = nullptr;
  if (kwnames) return kwnames;
  Ref mode_key = interned("mode");
  if (!mode_key) return nullptr;
  kwnames = PyTuple_Pack(1, mode_key.get());
  return kwnames;
}

// obj.model_dump(mode="json")
Result<Ref> dump_json(PyObject* obj) {
  PyObject* name = model_dump_name();
  PyObject* mode = json_name();
  PyObject* kwnames = mode_kwnames();
  if (!name || !mode || !kwnames) return raised();
  PyObject* argv[] = {obj, mode};
  Ref out = Ref::steal(PyObject_VectorcallMethod(name, argv, 1, kwnames));
  if (!out) return raised();
  return out;
}

Result<Ref> call_model_validate(PyObject* validating, PyObject* payload) {
  PyObject* name = model_validate_name();
  if (!name) return raised();
  PyObject* argv[] = {validating, payload};
  Ref out = Ref::steal(PyObject_VectorcallMethod(name, argv, 2, nullptr));
  if (!out) return raised();
  return out;
}

// str(part), lone surrogates shown as U+FFFD, "" when str() raises an ordinary exception.
Result<std::string> part_to_string(PyObject* part) {
  Ref s = Ref::steal(PyObject_Str(part));
  if (!s) {
    if (!discard_exception()) return raised();
    return std::string();
  }
  return utf8_replacing(s.get());
}

// The location parts joined with "." (("items", 0, "name") -> "items.0.name").
Result<std::string> join_loc(PyObject* loc) {
  Ref it = Ref::steal(PyObject_GetIter(loc));
  if (!it) {
    if (!discard_exception()) return raised();
    return part_to_string(loc);
  }
  std::string out;
  bool first = true;
  while (Ref part = Ref::steal(PyIter_Next(it.get()))) {
    auto text = part_to_string(part.get());
    if (!text) return raised();
    if (!first) out += '.';
    out += *text;
    first = false;
  }
  // An iterator that fails part-way ends the location there.
  if (PyErr_Occurred() && !discard_exception()) return raised();
  return out;
}

const FieldRow kWithheldRow{"", "validation", "input validation failed (error detail withheld)"};

// The rows of a Pydantic ValidationError; only `loc` and `msg` are ever read.
Result<std::vector<FieldRow>> validation_rows(PyObject* exc) {
  Ref errors_name = interned("errors");
  Ref loc_key = interned("loc");
  Ref msg_key = interned("msg");
  if (!errors_name || !loc_key || !msg_key) return raised();
  PyObject* argv[] = {exc};
  Ref errors = Ref::steal(PyObject_VectorcallMethod(
      errors_name.get(), argv, 1, nullptr));
  Ref it = errors ? Ref::steal(PyObject_GetIter(errors.get())) : Ref();
  if (!it) {
    if (!discard_exception()) return raised();
    return std::vector<FieldRow>{kWithheldRow};
  }
  std::vector<FieldRow> rows;
  while (Ref item = Ref::steal(PyIter_Next(it.get()))) {
    FieldRow row{"", "validation", "validation error"};
    if (Ref loc = Ref::steal(PyObject_GetItem(item.get(), loc_key.get()))) {
      auto field = join_loc(loc.get());
      if (!field) return raised();
      row.field = std::move(*field);
    } else if (!discard_exception()) {
      return raised();
    }
    if (Ref msg = Ref::steal(PyObject_GetItem(item.get(), msg_key.get()))) {
      if (PyUnicode_Check(msg.get())) row.message = utf8_replacing(msg.get());
    } else if (!discard_exception()) {
      return raised();
    }
    rows.push_back(std::move(row));
  }
  if (PyErr_Occurred()) {
    if (!discard_exception()) return raised();
    return std::vector<FieldRow>{kWithheldRow};
  }
  return rows;
}

// Is `exc` a pydantic.ValidationError (subclasses included)? pydantic is imported here only,
// never eagerly; a failing import or test means "no".
Result<bool> is_pydantic_validation_error(PyObject* exc) {
  Ref module = Ref::steal(PyImport_ImportModule("pydantic"));
  Ref cls = module ? Ref::steal(PyObject_GetAttrString(module.get(), "ValidationError")) : Ref();
  const int r = cls ? PyObject_IsInstance(exc, cls.get()) : -1;
  if (r < 0) {
    if (!discard_exception()) return raised();
    return false;
  }
  return r == 1;
}

// model_validate raised: its exception is pending.
std::unexpected<Raised> validation_failed() {
  Ref exc = Ref::steal(PyErr_GetRaisedException());
  auto pydantic = is_pydantic_validation_error(exc.get());
  if (!pydantic) return raised();
  if (!*pydantic) {
    PyErr_SetRaisedException(exc.release());
    return raised();
  }
  auto rows = validation_rows(exc.get());
  if (!rows) return raised();
  return raise_rows(ErrorKind::Validation, std::move(*rows));
}

}  // namespace

Result<Ref> validate_in_python(PyObject* model, PyObject* data) {
  Ref validating, input;
  if (data) {
    validating = Ref::borrow(model);
    input = Ref::borrow(data);
  } else {
    validating = Ref::borrow(reinterpret_cast<PyObject*>(Py_TYPE(model)));
    auto dumped = dump_json(model);
    if (!dumped) return raised();
    input = std::move(*dumped);
  }
  auto validated = call_model_validate(validating.get(), input.get());
  if (!validated) return validation_failed();
  return dump_json(validated->get());
}

}  // namespace quorlen::py

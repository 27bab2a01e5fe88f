#include "render.hpp"

#include <optional>
#include <string>
#include <vector>

#include "error.hpp"
#include "marshal.hpp"
#include "prompt.hpp"
#include "py/args.hpp"
#include "py/call.hpp"
#include "py/object.hpp"
#include "quorlen/consumer/error.hpp"
#include "quorlen/core/engine.hpp"
#include "quote.hpp"

namespace quorlen::py {
namespace {

// ---- Python calls of the validation path -------------------------------------------------

Ref interned(const char* text) { return Ref::steal(PyUnicode_InternFromString(text)); }

// obj.model_dump(mode="json")
Result<Ref> dump_json(PyObject* obj) {
  Ref name = interned("model_dump");
  Ref mode = interned("json");
  Ref mode_key = interned("mode");
  if (!name || !mode || !mode_key) return raised();
  Ref kwnames = Ref::steal(PyTuple_Pack(1, mode_key.get()));
  if (!kwnames) return raised();
  PyObject* argv[] = {obj, mode.get()};
  Ref out = Ref::steal(PyObject_VectorcallMethod(name.get(), argv, 1, kwnames.get()));
  if (!out) return raised();
  return out;
}

Result<Ref> call_model_validate(PyObject* validating, PyObject* payload) {
  Ref name = interned("model_validate");
  if (!name) return raised();
  PyObject* argv[] = {validating, payload};
  Ref out = Ref::steal(PyObject_VectorcallMethod(name.get(), argv, 2, nullptr));
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

// ---- GuardConfig -----------------------------------------------------------------------

using core::GuardConfig;

constexpr Signature<2> kGuardConfigSig{
    "GuardConfig", {{{"enabled", kKeywordOnly, kOptional}, {"advisory", kKeywordOnly, kOptional}}}};

PyObject* guard_config_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto bound = bind(kGuardConfigSig, args, kwargs);
  if (!bound) return nullptr;
  auto enabled = bound->flag(0, false);
  if (!enabled) return nullptr;
  auto advisory = bound->opt_str(1);
  if (!advisory) return nullptr;
  GuardConfig config;
  config.enabled = *enabled;
  if (*advisory) config.advisory = std::string(**advisory);
  return make_instance(type, std::move(config)).release();
}

PyObject* guard_enabled(PyObject* self) {
  return PyBool_FromLong(payload<GuardConfig>(self).enabled);
}

PyObject* guard_advisory(PyObject* self) {
  const auto& advisory = payload<GuardConfig>(self).advisory;
  if (!advisory) Py_RETURN_NONE;
  return str(*advisory).release();
}

PyObject* guard_repr(PyObject* self) {
  const GuardConfig& g = payload<GuardConfig>(self);
  return str(std::string("GuardConfig(enabled=") + (g.enabled ? "True" : "False") +
             ", advisory=" + quoted_option(g.advisory) + ")")
      .release();
}

PyGetSetDef guard_getset[] = {
    {"enabled", getter<guard_enabled>, nullptr, "Whether untrusted values are guarded.", nullptr},
    {"advisory", getter<guard_advisory>, nullptr,
     "The advisory text replacing the default one, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot guard_slots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "GuardConfig(*, enabled=False, advisory=None)\n--\n\n"
         "Immutable guard settings for Prompt.render.\n\n"
         "With enabled=True the output of every untrusted variable is wrapped in\n"
         "<untrusted>...</untrusted> with entity escaping, and the result's `guard` holds an\n"
         "advisory sentence for the model. An advisory override must mention the opening tag\n"
         "<untrusted>, the closing tag </untrusted> and an escape indication; otherwise the\n"
         "render raises PromptRenderError (field \"guard\", code \"render\").")},
    {Py_tp_new, reinterpret_cast<void*>(construct<guard_config_new>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<GuardConfig>)},
    {Py_tp_repr, reinterpret_cast<void*>(unary<guard_repr>)},
    {Py_tp_getset, guard_getset},
    {0, nullptr},
};

PyType_Spec guard_spec = {"quorlen.GuardConfig", static_cast<int>(sizeof(Instance<GuardConfig>)),
                          0, kClassFlags, guard_slots};

// ---- RenderResult ----------------------------------------------------------------------

using core::RenderResult;

template <std::string RenderResult::*Member>
PyObject* result_text(PyObject* self) {
  return str(payload<RenderResult>(self).*Member).release();
}

PyObject* result_guard(PyObject* self) {
  const auto& guard = payload<RenderResult>(self).guard;
  if (!guard) Py_RETURN_NONE;
  return str(*guard).release();
}

PyObject* provenance_attributes(PyObject* self) {
  const RenderResult& r = payload<RenderResult>(self);
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  const std::pair<const char*, const std::string*> entries[] = {
      {"quorlen.prompt.name", &r.name},
      {"quorlen.prompt.variant", &r.variant},
      {"quorlen.prompt.template_hash", &r.template_hash},
      {"quorlen.prompt.render_hash", &r.render_hash},
  };
  for (const auto& [key, value] : entries) {
    Ref text = str(*value);
    if (!text || PyDict_SetItemString(dict.get(), key, text.get()) < 0) return nullptr;
  }
  return dict.release();
}

PyObject* result_repr(PyObject* self) {
  const RenderResult& r = payload<RenderResult>(self);
  std::string out = "RenderResult(name=";
  append_quoted(out, r.name);
  out += ", variant=";
  append_quoted(out, r.variant);
  out += ", template_hash=";
  append_quoted(out, r.template_hash);
  out += ", render_hash=";
  append_quoted(out, r.render_hash);
  out += ')';
  return str(out).release();
}

PyGetSetDef result_getset[] = {
    {"text", getter<result_text<&RenderResult::text>>, nullptr,
     "The rendered text; the guard advisory is never part of it.", nullptr},
    {"name", getter<result_text<&RenderResult::name>>, nullptr, "The prompt's name.", nullptr},
    {"variant", getter<result_text<&RenderResult::variant>>, nullptr,
     "The resolved variant: \"default\" for the root body.", nullptr},
    {"template_hash", getter<result_text<&RenderResult::template_hash>>, nullptr,
     "Lowercase hex SHA-256 of the template source that was rendered.", nullptr},
    {"render_hash", getter<result_text<&RenderResult::render_hash>>, nullptr,
     "Lowercase hex SHA-256 of `text`.", nullptr},
    {"guard", getter<result_guard>, nullptr,
     "The guard advisory for the model when a guard was applied, else None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef result_methods[] = {
    {"provenance_attributes", noargs<provenance_attributes>, METH_NOARGS,
     "provenance_attributes($self)\n--\n\n"
     "Return a new dict of the four quorlen.prompt.* provenance attributes (name, variant,\n"
     "template_hash, render_hash). It is an allowlist: never the text or the guard, so it\n"
     "can be set as telemetry span attributes as is, with no telemetry dependency."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot result_slots[] = {
    {Py_tp_doc, const_cast<char*>("The immutable result of one Prompt.render: the text and its "
                                  "provenance (name, variant, template and render hashes).")},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<RenderResult>)},
    {Py_tp_repr, reinterpret_cast<void*>(unary<result_repr>)},
    {Py_tp_getset, result_getset},
    {Py_tp_methods, result_methods},
    {0, nullptr},
};

PyType_Spec result_spec = {"quorlen.RenderResult",
                           static_cast<int>(sizeof(Instance<RenderResult>)), 0,
                           kClassFlags | Py_TPFLAGS_DISALLOW_INSTANTIATION, result_slots};

// ---- render ----------------------------------------------------------------------------

constexpr Signature<5> kRenderSig{"render",
                                  {{{"model", kPositional, kOptional},
                                    {"data", kKeywordOnly, kOptional},
                                    {"variant", kKeywordOnly, kOptional},
                                    {"guard", kKeywordOnly, kOptional},
                                    {"unsafe_reveal_render_detail", kKeywordOnly, kOptional}}}};

std::unexpected<Raised> validation_row(const char* message) {
  return raise_rows(ErrorKind::Validation, {FieldRow{"", "validation", message}});
}

Result<Ref> render(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto bound = bind(kRenderSig, args, nargs, kwnames);
  if (!bound) return raised();
  PyObject* model = bound->opt(0);
  PyObject* data = bound->opt(1);
  auto variant = bound->opt_str(2);
  if (!variant) return raised();
  auto guard = bound->opt_exact(3, guard_config_type());
  if (!guard) return raised();
  auto reveal = bound->flag(4, false);
  if (!reveal) return raised();

  const PromptData& prompt = payload<PromptData>(self);
  if (!model) {
    if (!prompt.validators)
      return validation_row("render() requires a model or validators bound at construction");
    if (!data)
      return validation_row(
          "render() with no model arg requires explicit data= when using a bound validator "
          "class");
  }
  // Validation may run arbitrary Python code: hold what it uses for the whole call.
  Ref validating = Ref::borrow(model ? model : prompt.validators.get());
  auto validated = validate_in_python(validating.get(), data);
  if (!validated) return raised();
  auto value = to_kernel_value(validated->get());
  if (!value) return raised();

  GuardConfig config;
  if (*guard) config = payload<GuardConfig>(*guard);
  auto result = core::render(prompt.prompt.definition(), *variant, std::move(*value), config);
  if (!result)
    return raise_consumer(consumer::from_kernel_revealing(std::move(result.error()), *reveal));
  PyTypeObject* type = render_result_type();
  if (!type) return raised();
  Ref out = make_instance(type, std::move(*result));
  if (!out) return raised();
  return out;
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

Result<jinja::Value> to_kernel_value(PyObject* object) {
  auto value = kernel_value_from_python(object);
  if (value) return std::move(*value);
  if (value.error().pending) return raised();
  return raise_load("could not marshal Python value: " + value.error().message);
}

PyTypeObject* render_result_type() {
  static PyObject* type = nullptr;  // one class for the life of the process
  return once(type, [] { return PyType_FromSpec(&result_spec); });
}

PyTypeObject* guard_config_type() {
  static PyObject* type = nullptr;
  return once(type, [] { return PyType_FromSpec(&guard_spec); });
}

PyObject* prompt_render(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  auto out = render(self, args, nargs, kwnames);
  return out ? out->release() : nullptr;
}

}  // namespace quorlen::py

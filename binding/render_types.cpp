// GuardConfig and RenderResult: the render path's immutable input and output classes.
#include <string>
#include <utility>

#include "py/args.hpp"
#include "py/call.hpp"
#include "py/object.hpp"
#include "quorlen/core/engine.hpp"
#include "quote.hpp"
#include "render.hpp"

namespace quorlen::py {
namespace {

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

}  // namespace

PyTypeObject* render_result_type() {
  static PyObject* type = nullptr;  // one class for the life of the process
  return once(type, [] { return PyType_FromSpec(&result_spec); });
}

PyTypeObject* guard_config_type() {
  static PyObject* type = nullptr;
  return once(type, [] { return PyType_FromSpec(&guard_spec); });
}

}  // namespace quorlen::py

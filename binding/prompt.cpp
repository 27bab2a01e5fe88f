#include "prompt.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "check.hpp"
#include "derive.hpp"
#include "error.hpp"
#include "marshal.hpp"
#include "py/args.hpp"
#include "py/call.hpp"
#include "py/exception_text.hpp"
#include "py/object.hpp"
#include "quorlen/consumer/check.hpp"
#include "quote.hpp"
#include "render.hpp"

namespace quorlen::py {
namespace {

namespace record = core::generated::prompt_definition;

// ---- construction ----------------------------------------------------------------------

// A pending exception that must not be hidden (not an ordinary Exception) stays pending;
// an ordinary one becomes a load failure with its text form.
std::unexpected<Raised> load_from_pending() {
  if (!PyErr_ExceptionMatches(PyExc_Exception)) return raised();
  return raise_load(take_exception_text());
}

// The JSON text of a definition given as a model (anything with a callable model_dump_json)
// or as plain Python data.
Result<std::string> definition_to_json(PyObject* shape) {
  Ref dump = Ref::steal(PyObject_GetAttrString(shape, "model_dump_json"));
  if (!dump) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return load_from_pending();
    PyErr_Clear();
  }
  if (dump && PyCallable_Check(dump.get())) {
    Ref key = Ref::steal(PyUnicode_InternFromString("exclude_none"));
    Ref kwnames = key ? Ref::steal(PyTuple_Pack(1, key.get())) : Ref();
    if (!kwnames) return raised();
    PyObject* argv[] = {Py_True};
    Ref text = Ref::steal(PyObject_Vectorcall(dump.get(), argv, 0, kwnames.get()));
    if (!text) {
      if (!discard_exception()) return raised();
      return raise_load("could not serialize the prompt definition");
    }
    if (!PyUnicode_Check(text.get()))
      return raise_load("TypeError: model_dump_json() must return str, not " +
                        type_name(text.get()));
    auto utf8_text = utf8(text.get());
    if (!utf8_text) return load_from_pending();
    return std::string(*utf8_text);
  }
  auto value = json_from_python(shape);
  if (!value) {
    if (value.error().pending) return raised();
    return raise_load(std::move(value.error().message));
  }
  return core::json::write(*value);
}

std::unexpected<Raised> coverage_row(std::string field, std::string message) {
  return raise_rows(ErrorKind::Validation,
                    {FieldRow{std::move(field), "validation", std::move(message)}});
}

}  // namespace

// Every variable with validation_required must be a field of the validators model. Names
// are examined in ascending byte order so the reported one does not depend on map order.
Result<void> check_validator_coverage(const record::PromptDefinition& definition,
                                      PyObject* validators) {
  std::vector<const std::string*> required;
  for (const auto& [name, variable] : definition.variables)
    if (variable.validation_required) required.push_back(&name);
  if (required.empty()) return {};
  std::sort(required.begin(), required.end(),
            [](const std::string* a, const std::string* b) { return *a < *b; });
  if (!validators)
    return coverage_row(*required.front(),
                        "variable `" + *required.front() +
                            "` has `validation_required = true` but no validators were "
                            "supplied at construction");
  Ref fields = Ref::steal(PyObject_GetAttrString(validators, "model_fields"));
  if (!fields) {
    if (!discard_exception()) return raised();
    return coverage_row("",
                        "validators must be a Pydantic model class (must have `model_fields`)");
  }
  for (const std::string* name : required) {
    Ref key = str(*name);
    if (!key) return raised();
    const int found = PySequence_Contains(fields.get(), key.get());
    if (found < 0 && !discard_exception()) return raised();
    if (found != 1)
      return coverage_row(*name, "variable `" + *name +
                                     "` has `validation_required = true` but the supplied "
                                     "validators model does not declare this field "
                                     "(introspected via `model_fields`)");
  }
  return {};
}

namespace {

// The new Python Prompt, once the coverage check passes.
Result<Ref> finish(std::expected<consumer::Prompt, consumer::ConsumerError> built,
                   PyObject* validators, PyTypeObject* type) {
  if (!built) return raise_consumer(std::move(built.error()));
  if (!check_validator_coverage(built->definition(), validators)) return raised();
  if (!type) return raised();
  Ref self = make_instance(type, PromptData{std::move(*built), Ref::borrow(validators)});
  if (!self) return raised();
  return self;
}

PyObject* release(Result<Ref> r) { return r ? r->release() : nullptr; }

constexpr Signature<2> kPromptSig{
    "Prompt", {{{"shape", kPositional, kRequired}, {"validators", kKeywordOnly, kOptional}}}};

PyObject* prompt_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto bound = bind(kPromptSig, args, kwargs);
  if (!bound) return nullptr;
  auto text = definition_to_json((*bound)[0]);
  if (!text) return nullptr;
  return release(finish(consumer::Prompt::from_json(*text), bound->opt(1), type));
}

using Loader = std::expected<consumer::Prompt, consumer::ConsumerError> (*)(std::string_view);

template <const Signature<2>& Sig, Loader Load>
PyObject* from_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto bound = bind(Sig, args, nargs, kwnames);
  if (!bound) return nullptr;
  auto text = bound->str(0);
  if (!text) return nullptr;
  return release(finish(Load(*text), bound->opt(1), prompt_type()));
}

constexpr Signature<2> kFromYamlSig{
    "from_yaml", {{{"text", kPositional, kRequired}, {"validators", kKeywordOnly, kOptional}}}};
constexpr Signature<2> kFromJsonSig{
    "from_json", {{{"text", kPositional, kRequired}, {"validators", kKeywordOnly, kOptional}}}};
constexpr Signature<2> kFromTomlSig{
    "from_toml", {{{"text", kPositional, kRequired}, {"validators", kKeywordOnly, kOptional}}}};

// ---- properties ------------------------------------------------------------------------

const consumer::Prompt& prompt_of(PyObject* self) { return payload<PromptData>(self).prompt; }

PyObject* prompt_name(PyObject* self) { return str(prompt_of(self).name()).release(); }
PyObject* prompt_role(PyObject* self) {
  return str(record::to_string(prompt_of(self).role())).release();
}
PyObject* prompt_body(PyObject* self) { return str(prompt_of(self).body()).release(); }

PyObject* prompt_variables(PyObject* self) {
  return release(json_to_python(record::to_json(prompt_of(self).variables())));
}
PyObject* prompt_variants(PyObject* self) {
  return release(json_to_python(record::to_json(prompt_of(self).variants())));
}
PyObject* prompt_output_model(PyObject* self) {
  const auto& model = prompt_of(self).output_model();
  if (!model) Py_RETURN_NONE;
  return str(*model).release();
}
PyObject* prompt_metadata(PyObject* self) {
  return release(json_to_python(prompt_of(self).metadata()));
}

// ---- methods ---------------------------------------------------------------------------

constexpr Signature<1> kGetSourceSig{"get_source", {{{"variant", kKeywordOnly, kOptional}}}};

PyObject* prompt_get_source(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
  auto bound = bind(kGetSourceSig, args, nargs, kwnames);
  if (!bound) return nullptr;
  auto variant = bound->opt_str(0);
  if (!variant) return nullptr;
  auto source = prompt_of(self).get_source(*variant);
  if (!source) return release(raise_consumer(std::move(source.error())));
  return str(*source).release();
}

PyObject* prompt_check(PyObject* self) {
  return make_check_report(consumer::check(prompt_of(self))).release();
}

PyObject* prompt_repr(PyObject* self) {
  const consumer::Prompt& p = prompt_of(self);
  std::string out = "Prompt(name=";
  append_quoted(out, p.name());
  out += ", role=";
  append_quoted(out, record::to_string(p.role()));
  out += ')';
  return str(out).release();
}

int prompt_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  Py_VISIT(payload<PromptData>(self).validators.get());
  return 0;
}

int prompt_clear(PyObject* self) {
  payload<PromptData>(self).validators = Ref();
  return 0;
}

#define QUORLEN_FASTCALL(fn) \
  reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fastcall<fn>))

PyMethodDef prompt_methods[] = {
    {"from_yaml", QUORLEN_FASTCALL((from_text<kFromYamlSig, consumer::Prompt::from_yaml>)),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "from_yaml(text, *, validators=None)\n--\n\n"
     "Build a Prompt from YAML text already read by the caller (no file is opened).\n\n"
     "Raises LoadError for malformed text or a shape mismatch, PromptRenderError when a\n"
     "template does not compile or reads an undeclared variable, and PromptValidationError\n"
     "when `validators` do not cover a validation_required variable."},
    {"from_json", QUORLEN_FASTCALL((from_text<kFromJsonSig, consumer::Prompt::from_json>)),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "from_json(text, *, validators=None)\n--\n\n"
     "Build a Prompt from JSON text already read by the caller (no file is opened).\n\n"
     "Raises LoadError for malformed text or a shape mismatch, PromptRenderError when a\n"
     "template does not compile or reads an undeclared variable, and PromptValidationError\n"
     "when `validators` do not cover a validation_required variable."},
    {"from_toml", QUORLEN_FASTCALL((from_text<kFromTomlSig, consumer::Prompt::from_toml>)),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "from_toml(text, *, validators=None)\n--\n\n"
     "Build a Prompt from TOML text already read by the caller (no file is opened).\n\n"
     "Raises LoadError for malformed text or a shape mismatch, PromptRenderError when a\n"
     "template does not compile or reads an undeclared variable, and PromptValidationError\n"
     "when `validators` do not cover a validation_required variable."},
    {"get_source", QUORLEN_FASTCALL(prompt_get_source), METH_FASTCALL | METH_KEYWORDS,
     "get_source($self, *, variant=None)\n--\n\n"
     "Return the unrendered template source of the root body (no variant, or \"default\")\n"
     "or of the named variant. Raises PromptRenderError for an undeclared variant."},
    {"check", noargs<prompt_check>, METH_NOARGS,
     "check($self)\n--\n\n"
     "Run the advisory lint and return a new CheckReport; never renders, never raises."},
    {"render", QUORLEN_FASTCALL(prompt_render), METH_FASTCALL | METH_KEYWORDS, kRenderDoc},
    {"derive", QUORLEN_FASTCALL(prompt_derive), METH_FASTCALL | METH_KEYWORDS, kDeriveDoc},
    {nullptr, nullptr, 0, nullptr},
};

#undef QUORLEN_FASTCALL

PyGetSetDef prompt_getset[] = {
    {"name", getter<prompt_name>, nullptr, "The prompt's name.", nullptr},
    {"role", getter<prompt_role>, nullptr, "\"system\", \"user\" or \"assistant\".", nullptr},
    {"body", getter<prompt_body>, nullptr, "The root body's template source.", nullptr},
    {"variables", getter<prompt_variables>, nullptr,
     "A new dict on each access: variable name -> its declaration (type, description,\n"
     "trusted, validation_required), keys in sorted order.",
     nullptr},
    {"variants", getter<prompt_variants>, nullptr,
     "A new dict on each access: variant name -> its record (body, metadata).", nullptr},
    {"output_model", getter<prompt_output_model>, nullptr,
     "The output model's name, or None. Carried as metadata only.", nullptr},
    {"metadata", getter<prompt_metadata>, nullptr,
     "A new dict on each access: the definition's metadata ({} when it has none).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot prompt_slots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "Prompt(shape, *, validators=None)\n--\n\n"
         "An immutable prompt definition, fully validated at construction: its shape, every\n"
         "template (it must compile and use no include, extends, import, macro or block), and\n"
         "that every variable a template reads is declared.\n\n"
         "Build one from a dict or a generated model (anything with model_dump_json), or from\n"
         "text with Prompt.from_yaml, Prompt.from_json or Prompt.from_toml. `validators` (a\n"
         "Pydantic model class) is kept for render() and must declare every variable marked\n"
         "validation_required.")},
    {Py_tp_new, reinterpret_cast<void*>(construct<prompt_new>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_gc<PromptData>)},
    {Py_tp_traverse, reinterpret_cast<void*>(prompt_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(prompt_clear)},
    {Py_tp_repr, reinterpret_cast<void*>(unary<prompt_repr>)},
    {Py_tp_methods, prompt_methods},
    {Py_tp_getset, prompt_getset},
    {0, nullptr},
};

PyType_Spec prompt_spec = {"quorlen.Prompt", static_cast<int>(sizeof(Instance<PromptData>)), 0,
                           kClassFlags | Py_TPFLAGS_HAVE_GC, prompt_slots};

}  // namespace

PyTypeObject* prompt_type() {
  static PyObject* type = nullptr;  // one class for the life of the process
  return once(type, [] { return PyType_FromSpec(&prompt_spec); });
}

}  // namespace quorlen::py

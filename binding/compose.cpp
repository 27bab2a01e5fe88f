#include "compose.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <jinja/jinja.hpp>

#include "error.hpp"
#include "prompt.hpp"
#include "py/args.hpp"
#include "py/call.hpp"
#include "py/object.hpp"
#include "quorlen/consumer/error.hpp"
#include "quorlen/core/engine.hpp"
#include "quote.hpp"
#include "render.hpp"

namespace quorlen::py {
namespace {

namespace record = core::generated::prompt_definition;

// ---- Message ---------------------------------------------------------------------------

struct MessageData {
  std::string role;
  std::string text;
};

template <std::string MessageData::*Member>
PyObject* message_text(PyObject* self) {
  return str(payload<MessageData>(self).*Member).release();
}

PyObject* message_repr(PyObject* self) {
  const MessageData& m = payload<MessageData>(self);
  std::string out = "Message(role=";
  append_quoted(out, m.role);
  out += ", text=";
  append_quoted(out, m.text);
  out += ')';
  return str(out).release();
}

PyGetSetDef message_getset[] = {
    {"role", getter<message_text<&MessageData::role>>, nullptr,
     "The role of the entry's prompt: \"system\", \"user\" or \"assistant\".", nullptr},
    {"text", getter<message_text<&MessageData::text>>, nullptr,
     "The entry's rendered body (never a guard advisory).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot message_slots[] = {
    {Py_tp_doc, const_cast<char*>("One role-tagged rendered string of Composition.resolve().")},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<MessageData>)},
    {Py_tp_repr, reinterpret_cast<void*>(unary<message_repr>)},
    {Py_tp_getset, message_getset},
    {0, nullptr},
};

PyType_Spec message_spec = {"quorlen.Message", static_cast<int>(sizeof(Instance<MessageData>)),
                            0, kClassFlags | Py_TPFLAGS_DISALLOW_INSTANTIATION, message_slots};

// ---- Composition state -----------------------------------------------------------------

struct Entry {
  std::optional<std::string> variant;  // none: the root body; existence checked at resolve
  jinja::Value value;                  // the validated variables, converted once
  Ref prompt;                          // the caller's Prompt, shared, kept alive
};

struct CompositionData {
  std::vector<Entry> entries;
  // Who is using the entries: 0 nobody, n > 0 that many readers, -1 one writer. Validation
  // during append runs the caller's Python code, which may call back into this composition.
  int access = 0;
};

// Holds a read or write mark on a composition for the rest of a call.
class Access {
 public:
  static Result<Access> exclusive(CompositionData& data) {
    if (data.access != 0) return refused();
    data.access = -1;
    return Access(data);
  }
  static Result<Access> shared(CompositionData& data) {
    if (data.access < 0) return refused();
    ++data.access;
    return Access(data);
  }
  Access(Access&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}
  Access(const Access&) = delete;
  Access& operator=(const Access&) = delete;
  Access& operator=(Access&&) = delete;
  ~Access() {
    if (!data_) return;
    data_->access = data_->access < 0 ? 0 : data_->access - 1;
  }

 private:
  explicit Access(CompositionData& data) : data_(&data) {}
  static std::unexpected<Raised> refused() {
    return raise(PyExc_RuntimeError,
                 "Composition is in use by a call that is still running (for example a "
                 "validator called back into it during append); re-entrant use is refused");
  }
  CompositionData* data_;
};

CompositionData& data_of(PyObject* self) { return payload<CompositionData>(self); }

const consumer::Prompt& prompt_of(const Entry& entry) {
  return payload<PromptData>(entry.prompt.get()).prompt;
}

// Validates and converts one entry's variables and stores the entry; nothing is stored when
// either step fails. The prompt's bound validators are not consulted: `vars` is a model
// instance that its own class re-validates.
Result<void> append_entry(CompositionData& into, PyObject* prompt, PyObject* vars,
                          std::optional<std::string> variant) {
  Ref held_prompt = Ref::borrow(prompt);
  Ref held_vars = Ref::borrow(vars);
  auto validated = validate_in_python(held_vars.get(), nullptr);
  if (!validated) return raised();
  auto value = to_kernel_value(validated->get());
  if (!value) return raised();
  into.entries.push_back(Entry{std::move(variant), std::move(*value), std::move(held_prompt)});
  return {};
}

Result<std::optional<std::string>> owned(Result<std::optional<std::string_view>> text) {
  if (!text) return raised();
  if (!*text) return std::nullopt;
  return std::string(**text);
}

// ---- Composition methods ---------------------------------------------------------------

constexpr Signature<0> kCompositionSig{"Composition", {}};

PyObject* composition_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  if (!bind(kCompositionSig, args, kwargs)) return nullptr;
  return make_instance(type, CompositionData{}).release();
}

constexpr Signature<3> kAppendSig{"append",
                                  {{{"prompt", kPositional, kRequired},
                                    {"vars", kPositional, kRequired},
                                    {"variant", kKeywordOnly, kOptional}}}};

PyObject* composition_append(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  auto bound = bind(kAppendSig, args, nargs, kwnames);
  if (!bound) return nullptr;
  CompositionData& data = data_of(self);
  auto access = Access::exclusive(data);
  if (!access) return nullptr;
  PyTypeObject* type = prompt_type();
  if (!type) return nullptr;
  if (!detail::as_exact("append", "prompt", (*bound)[0], type)) return nullptr;
  auto variant = owned(bound->opt_str(2));
  if (!variant) return nullptr;
  if (!append_entry(data, (*bound)[0], (*bound)[1], std::move(*variant))) return nullptr;
  Py_RETURN_NONE;
}

// One item of from_messages: a (prompt, vars) or (prompt, vars, variant) tuple.
Result<void> append_item(CompositionData& into, PyObject* item, PyTypeObject* prompt_type) {
  if (!PyTuple_Check(item))
    return raise(PyExc_TypeError,
                 "composition entry must be a tuple of (prompt, vars) or (prompt, vars, "
                 "variant)");
  const Py_ssize_t size = PyTuple_Size(item);
  if (size != 2 && size != 3)
    return raise(PyExc_TypeError,
                 "composition entry must have 2 or 3 elements (prompt, vars[, variant]), got " +
                     std::to_string(size));
  PyObject* prompt = PyTuple_GetItem(item, 0);
  if (!Py_IS_TYPE(prompt, prompt_type))
    return raise(PyExc_TypeError, "composition entry first element must be a Prompt object");
  std::optional<std::string> variant;
  if (size == 3) {
    PyObject* given = PyTuple_GetItem(item, 2);
    if (given != Py_None) {
      if (!PyUnicode_Check(given))
        return raise(PyExc_TypeError,
                     "composition entry variant must be str or None, not " + type_name(given));
      auto text = utf8(given);
      if (!text) return raised();
      variant = std::string(*text);
    }
  }
  return append_entry(into, prompt, PyTuple_GetItem(item, 1), std::move(variant));
}

constexpr Signature<1> kFromMessagesSig{"from_messages",
                                        {{{"entries", kPositional, kRequired}}}};

// The whole composition or nothing: entries are gathered out of Python's sight and become a
// Composition only once the iterator is exhausted.
PyObject* composition_from_messages(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  auto bound = bind(kFromMessagesSig, args, nargs, kwnames);
  if (!bound) return nullptr;
  PyTypeObject* prompt = prompt_type();
  PyTypeObject* type = composition_type();
  if (!prompt || !type) return nullptr;
  Ref iterator = Ref::steal(PyObject_GetIter((*bound)[0]));
  if (!iterator) return nullptr;
  CompositionData data;
  while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    if (!append_item(data, item.get(), prompt)) return nullptr;
  }
  if (PyErr_Occurred()) return nullptr;
  return make_instance(type, std::move(data)).release();
}

// Renders every entry, then builds the messages: a failing entry leaves no partial list.
PyObject* composition_resolve(PyObject* self) {
  CompositionData& data = data_of(self);
  auto access = Access::shared(data);
  if (!access) return nullptr;
  std::vector<MessageData> rendered;
  rendered.reserve(data.entries.size());
  for (const Entry& entry : data.entries) {
    const consumer::Prompt& prompt = prompt_of(entry);
    // The value is shared, not deep-copied, so the entry keeps it for the next resolve.
    auto result = core::render(prompt.definition(), entry.variant, entry.value, {});
    if (!result) {
      raise_consumer(consumer::from_kernel(std::move(result.error())));
      return nullptr;
    }
    rendered.push_back(
        MessageData{std::string(record::to_string(prompt.role())), std::move(result->text)});
  }
  PyTypeObject* type = message_type();
  if (!type) return nullptr;
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(rendered.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < rendered.size(); ++i) {
    Ref message = make_instance(type, std::move(rendered[i]));
    if (!message) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), message.release());
  }
  return list.release();
}

Py_ssize_t composition_len(PyObject* self) {
  CompositionData& data = data_of(self);
  auto access = Access::shared(data);
  if (!access) return -1;
  return static_cast<Py_ssize_t>(data.entries.size());
}

PyObject* composition_repr(PyObject* self) {
  CompositionData& data = data_of(self);
  auto access = Access::shared(data);
  if (!access) return nullptr;
  std::string out = "Composition(entries=" + std::to_string(data.entries.size()) + ", names=[";
  for (std::size_t i = 0; i < data.entries.size(); ++i) {
    if (i) out += ", ";
    append_quoted(out, prompt_of(data.entries[i]).name());
  }
  out += "])";
  return str(out).release();
}

int composition_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  for (const Entry& entry : data_of(self).entries) Py_VISIT(entry.prompt.get());
  return 0;
}

// Breaks reference cycles through a prompt's validators; the entries go as a whole.
int composition_clear(PyObject* self) {
  std::vector<Entry> dropped = std::move(data_of(self).entries);
  data_of(self).entries.clear();
  return 0;
}

#define QUORLEN_FASTCALL(fn) \
  reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fastcall<fn>))

PyMethodDef composition_methods[] = {
    {"append", QUORLEN_FASTCALL(composition_append), METH_FASTCALL | METH_KEYWORDS,
     "append($self, prompt, vars, *, variant=None)\n--\n\n"
     "Validate `vars` (a Pydantic model instance, re-validated by its own class), convert it\n"
     "and add one entry for `prompt` at the end; return None. Nothing is stored when\n"
     "validation or conversion fails: PromptValidationError for rejected variables,\n"
     "LoadError for a value that cannot be converted, any other exception unchanged.\n"
     "`variant` (a str, None for the root body) is checked only by resolve(). Calling back\n"
     "into the same composition from a validator raises RuntimeError."},
    {"from_messages", QUORLEN_FASTCALL(composition_from_messages),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "from_messages(entries)\n--\n\n"
     "Return a new Composition with one entry per item of the iterable `entries`, each a\n"
     "tuple (prompt, vars) or (prompt, vars, variant), validated as append() does. The call\n"
     "fails as a whole: the first bad item raises and no composition is returned."},
    {"resolve", noargs<composition_resolve>, METH_NOARGS,
     "resolve($self)\n--\n\n"
     "Render every entry in order, without a guard, and return a new list of Message.\n"
     "Variables are not validated again. The first failing entry raises PromptRenderError\n"
     "(render detail withheld) and no partial list is returned. The composition is\n"
     "unchanged and can be resolved any number of times."},
    {nullptr, nullptr, 0, nullptr},
};

#undef QUORLEN_FASTCALL

PyType_Slot composition_slots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "Composition()\n--\n\n"
         "An explicit, ordered sequence of (Prompt, vars, variant?) entries that resolves to\n"
         "a list of Message in append order, for example a system prompt then a user prompt.\n\n"
         "Build it with append() one entry at a time (it returns None; there is no fluent\n"
         "chaining) or with Composition.from_messages(). Variables are validated when an\n"
         "entry is added, so a composition only ever holds entries that passed validation;\n"
         "entries are never removed or reordered. len() is the number of entries.")},
    {Py_tp_new, reinterpret_cast<void*>(construct<composition_new>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_gc<CompositionData>)},
    {Py_tp_traverse, reinterpret_cast<void*>(composition_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(composition_clear)},
    {Py_tp_repr, reinterpret_cast<void*>(unary<composition_repr>)},
    {Py_tp_methods, composition_methods},
    {Py_sq_length, reinterpret_cast<void*>(length<composition_len>)},
    {0, nullptr},
};

PyType_Spec composition_spec = {"quorlen.Composition",
                                static_cast<int>(sizeof(Instance<CompositionData>)), 0,
                                kClassFlags | Py_TPFLAGS_HAVE_GC, composition_slots};

}  // namespace

PyTypeObject* composition_type() {
  static PyObject* type = nullptr;  // one class for the life of the process
  return once(type, [] { return PyType_FromSpec(&composition_spec); });
}

PyTypeObject* message_type() {
  static PyObject* type = nullptr;
  return once(type, [] { return PyType_FromSpec(&message_spec); });
}

}  // namespace quorlen::py

#include "merge_strategy.hpp"

#include "py/call.hpp"
#include "py/object.hpp"

namespace quorlen::py {
namespace {

using consumer::MergeStrategy;

// The integer value of each member, which int() and comparisons with integers expose.
long value_of(MergeStrategy s) { return s == MergeStrategy::Merge ? 1 : 0; }

PyObject* strategy_int(PyObject* self) {
  return PyLong_FromLong(value_of(payload<MergeStrategy>(self)));
}

PyObject* strategy_repr(PyObject* self) {
  return str(payload<MergeStrategy>(self) == MergeStrategy::Merge ? "MergeStrategy.MERGE"
                                                                   : "MergeStrategy.REPLACE")
      .release();
}

// Equality with members and integers only; no ordering, so sorting members is a TypeError
// rather than an accident of their integer values.
PyObject* strategy_compare(PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  bool equal = false;
  if (Py_IS_TYPE(other, Py_TYPE(self))) {
    equal = payload<MergeStrategy>(self) == payload<MergeStrategy>(other);
  } else if (PyLong_Check(other)) {
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(other, &overflow);
    if (n == -1 && !overflow && PyErr_Occurred()) return nullptr;
    equal = !overflow && n == value_of(payload<MergeStrategy>(self));
  } else {
    Py_RETURN_NOTIMPLEMENTED;
  }
  return PyBool_FromLong((op == Py_EQ) == equal);
}

PyObject* compare_guarded(PyObject* self, PyObject* other, int op) noexcept {
  return guarded([&] { return strategy_compare(self, other, op); });
}

PyType_Slot strategy_slots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "How Prompt.derive combines an overlay with the base definition; pass a member as\n"
         "the keyword argument `strategy`.\n\n"
         "REPLACE (0, the default): every field present in the overlay replaces the base's\n"
         "field whole. MERGE (1): `variables`, `variants` and `metadata` take the union of\n"
         "their top-level keys, the overlay's entry winning whole on a shared key; other\n"
         "present fields replace.\n\n"
         "The two members are shared instances; int() gives their value and they compare\n"
         "equal to it. They are not ordered and not hashable.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<MergeStrategy>)},
    {Py_tp_repr, reinterpret_cast<void*>(unary<strategy_repr>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(compare_guarded)},
    // Equality without a matching hash: members cannot be set elements or dict keys.
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_nb_int, reinterpret_cast<void*>(unary<strategy_int>)},
    {0, nullptr},
};

PyType_Spec strategy_spec = {"quorlen.MergeStrategy",
                             static_cast<int>(sizeof(Instance<MergeStrategy>)), 0,
                             kClassFlags | Py_TPFLAGS_DISALLOW_INSTANTIATION, strategy_slots};

// The class with its two members as class attributes. The type is immutable, which
// type.__setattr__ enforces, so the members go into the new type's namespace through the
// generic attribute path before anyone can see it; PyType_Modified drops any cached lookup.
PyObject* make_strategy_type() {
  Ref type = Ref::steal(PyType_FromSpec(&strategy_spec));
  if (!type) return nullptr;
  auto* t = reinterpret_cast<PyTypeObject*>(type.get());
  const std::pair<const char*, MergeStrategy> members[] = {{"REPLACE", MergeStrategy::Replace},
                                                           {"MERGE", MergeStrategy::Merge}};
  for (const auto& [name, strategy] : members) {
    Ref member = make_instance(t, strategy);
    Ref key = Ref::steal(PyUnicode_InternFromString(name));
    if (!member || !key || PyObject_GenericSetAttr(type.get(), key.get(), member.get()) < 0)
      return nullptr;
  }
  PyType_Modified(t);
  return type.release();
}

}  // namespace

PyTypeObject* merge_strategy_type() {
  static PyObject* type = nullptr;  // one class and two members for the life of the process
  return once(type, make_strategy_type);
}

consumer::MergeStrategy merge_strategy_of(PyObject* member) {
  return payload<MergeStrategy>(member);
}

}  // namespace quorlen::py

#include "marshal.hpp"

#include "marshal_walk.hpp"

namespace quorlen::py {
namespace marshal_detail {

MarshalError from_pending() {
  if (!PyErr_ExceptionMatches(PyExc_Exception)) return {"", true};
  return {take_exception_text(), false};
}

std::unexpected<MarshalError> fail(std::string message) {
  return std::unexpected(MarshalError{std::move(message), false});
}

std::unexpected<MarshalError> unsupported(PyObject* o) {
  return fail("unsupported type: " + type_name(o));
}

namespace {

// isinstance(o, module.attr), with the import made now (nothing is kept between calls).
Marshalled<bool> is_instance_of(const char* module, const char* attr, PyObject* o) {
  Ref mod = Ref::steal(PyImport_ImportModule(module));
  if (!mod) return std::unexpected(from_pending());
  Ref cls = Ref::steal(PyObject_GetAttrString(mod.get(), attr));
  if (!cls) return std::unexpected(from_pending());
  const int r = PyObject_IsInstance(o, cls.get());
  if (r < 0) return std::unexpected(from_pending());
  return r == 1;
}

// Dataclass instances (not the classes) have `__dataclass_fields__` on their type.
Marshalled<bool> is_dataclass_instance(PyObject* o) {
  if (PyType_Check(o)) return false;
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(o));
  Ref fields = Ref::steal(PyObject_GetAttrString(type, "__dataclass_fields__"));
  if (fields) return true;
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return std::unexpected(from_pending());
  PyErr_Clear();
  return false;
}

}  // namespace

Marshalled<Fallback> classify(PyObject* o) {
  auto seq = is_instance_of("collections.abc", "Sequence", o);
  if (!seq) return std::unexpected(std::move(seq.error()));
  if (*seq) return Fallback::Sequence;
  auto map = is_instance_of("collections.abc", "Mapping", o);
  if (!map) return std::unexpected(std::move(map.error()));
  if (*map) return Fallback::Mapping;
  auto dc = is_dataclass_instance(o);
  if (!dc) return std::unexpected(std::move(dc.error()));
  return *dc ? Fallback::Dataclass : Fallback::None;
}

Marshalled<std::vector<std::pair<Ref, Ref>>> dataclass_fields(PyObject* o) {
  Ref mod = Ref::steal(PyImport_ImportModule("dataclasses"));
  if (!mod) return std::unexpected(from_pending());
  Ref fields_fn = Ref::steal(PyObject_GetAttrString(mod.get(), "fields"));
  if (!fields_fn) return std::unexpected(from_pending());
  PyObject* argv[] = {o};
  Ref fields = Ref::steal(PyObject_Vectorcall(fields_fn.get(), argv, 1, nullptr));
  if (!fields) return std::unexpected(from_pending());
  Ref it = Ref::steal(PyObject_GetIter(fields.get()));
  if (!it) return std::unexpected(from_pending());
  std::vector<std::pair<Ref, Ref>> out;
  while (Ref field = Ref::steal(PyIter_Next(it.get()))) {
    Ref name = Ref::steal(PyObject_GetAttrString(field.get(), "name"));
    if (!name) return std::unexpected(from_pending());
    Ref value = Ref::steal(PyObject_GetAttr(o, name.get()));
    if (!value) return std::unexpected(from_pending());
    out.emplace_back(std::move(name), std::move(value));
  }
  if (PyErr_Occurred()) return std::unexpected(from_pending());
  return out;
}

Marshalled<std::vector<std::pair<Ref, Ref>>> mapping_items(PyObject* o) {
  Ref items = Ref::steal(PyMapping_Items(o));
  if (!items) return std::unexpected(from_pending());
  const Py_ssize_t n = PyList_Size(items.get());
  std::vector<std::pair<Ref, Ref>> out;
  out.reserve(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* pair = PyList_GetItem(items.get(), i);
    if (!PyTuple_Check(pair) || PyTuple_Size(pair) != 2)
      return fail("mapping items must be (key, value) pairs");
    out.emplace_back(Ref::borrow(PyTuple_GetItem(pair, 0)), Ref::borrow(PyTuple_GetItem(pair, 1)));
  }
  return out;
}

}  // namespace marshal_detail

namespace {

using core::json::Value;

struct JsonSink {
  using Value = core::json::Value;
  static Value null() { return Value(); }
  static Value boolean(bool b) { return Value(b); }
  static Value int64(std::int64_t i) { return Value(i); }
  static Value uint64(std::uint64_t u) { return Value(u); }
  static Value real(double d) { return Value(d); }
  static Value string(std::string_view s) { return Value(std::string(s)); }
  static Value array(std::vector<Value> items) { return Value(std::move(items)); }
  static Value object(std::vector<std::pair<std::string, Value>> entries) {
    core::json::Object object;
    for (auto& [k, v] : entries) object.insert_or_assign(std::move(k), std::move(v));
    return Value(std::move(object));
  }
};

Result<Ref> to_python(const Value& value, int depth);

Result<Ref> object_to_python(const core::json::Object& o, int depth) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return raised();
  for (const auto& [k, v] : o) {
    Ref key = str(k);
    if (!key) return raised();
    auto item = to_python(v, depth + 1);
    if (!item || PyDict_SetItem(dict.get(), key.get(), item->get()) < 0) return raised();
  }
  return dict;
}

Result<Ref> to_python(const Value& value, int depth) {
  if (depth > kMaxMarshalDepth) return raise(PyExc_ValueError, "recursion limit exceeded");
  struct Visit {
    int depth;
    Result<Ref> operator()(core::json::Null) const { return Ref::borrow(Py_None); }
    Result<Ref> operator()(bool b) const { return Ref::borrow(b ? Py_True : Py_False); }
    Result<Ref> operator()(std::int64_t i) const { return checked(PyLong_FromLongLong(i)); }
    Result<Ref> operator()(std::uint64_t u) const {
      return checked(PyLong_FromUnsignedLongLong(u));
    }
    Result<Ref> operator()(double d) const { return checked(PyFloat_FromDouble(d)); }
    Result<Ref> operator()(const std::string& s) const {
      return checked(PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())));
    }
    Result<Ref> operator()(const core::json::Array& a) const {
      Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(a.size())));
      if (!list) return raised();
      for (std::size_t i = 0; i < a.size(); ++i) {
        auto item = to_python(a[i], depth + 1);
        if (!item) return raised();
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item->release());
      }
      return list;
    }
    Result<Ref> operator()(const core::json::Object& o) const {
      return object_to_python(o, depth);
    }
    static Result<Ref> checked(PyObject* o) {
      if (!o) return raised();
      return Ref::steal(o);
    }
  };
  return std::visit(Visit{depth}, value.v);
}

}  // namespace

Marshalled<core::json::Value> json_from_python(PyObject* object) {
  return marshal_detail::FromPython<JsonSink>().convert(object, 0);
}

Result<Ref> json_to_python(const core::json::Value& value) { return to_python(value, 0); }

Result<Ref> json_to_python(const core::json::Object& object) {
  return object_to_python(object, 0);
}

}  // namespace quorlen::py

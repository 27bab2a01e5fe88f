#include "py/args.hpp"

#include <string>

#include "py/cat.hpp"

namespace quorlen::py::detail {
namespace {

std::string plural(std::size_t n, std::string_view word) {
  return cat(n, ' ', word, n == 1 ? "" : "s");
}

// Index of the parameter named `key`, or params.size().
std::size_t find(std::span<const Param> params, std::string_view key) {
  std::size_t i = 0;
  while (i < params.size() && params[i].name != key) ++i;
  return i;
}

Result<void> bind_keyword(std::string_view function, std::span<const Param> params,
                          std::span<PyObject*> out, Py_ssize_t npositional, PyObject* key,
                          PyObject* value) {
  if (!PyUnicode_Check(key)) return raise(PyExc_TypeError, "keywords must be strings");
  auto name = utf8(key);
  if (!name) return raised();
  const std::size_t i = find(params, *name);
  if (i == params.size()) {
    if (params.empty())
      return raise(PyExc_TypeError, cat(function, "() takes no keyword arguments"));
    return raise(PyExc_TypeError,
                 cat(function, "() got an unexpected keyword argument '", *name, "'"));
  }
  if (static_cast<Py_ssize_t>(i) < npositional)
    return raise(PyExc_TypeError, cat("argument for ", function, "() given by name ('", *name,
                                      "') and position (", i + 1, ")"));
  if (out[i])
    return raise(PyExc_TypeError,
                 cat(function, "() got multiple values for argument '", *name, "'"));
  out[i] = value;
  return {};
}

}  // namespace

Result<void> bind(std::string_view function, std::span<const Param> params,
                  std::span<PyObject*> out, PyObject* const* positional, Py_ssize_t npositional,
                  PyObject* kwnames, PyObject* kwdict) {
  std::size_t max_positional = 0, min_positional = 0;
  for (const Param& p : params) {
    if (p.keyword_only) break;
    ++max_positional;
    if (p.required) min_positional = max_positional;
  }
  const auto given = static_cast<std::size_t>(npositional);
  if (given > max_positional) {
    if (params.empty())
      return raise(PyExc_TypeError,
                   cat(function, "() takes no arguments (", given, " given)"));
    if (max_positional == 0)
      return raise(PyExc_TypeError,
                   cat(function, "() takes no positional arguments"));
    return raise(PyExc_TypeError,
                 cat(function, "() takes ",
                     min_positional < max_positional ? "at most" : "exactly", " ",
                     plural(max_positional, "positional argument"), " (", given, " given)"));
  }
  for (std::size_t i = 0; i < given; ++i) out[i] = positional[i];

  if (kwnames) {
    const Py_ssize_t n = PyTuple_Size(kwnames);
    for (Py_ssize_t k = 0; k < n; ++k) {
      if (!bind_keyword(function, params, out, npositional, PyTuple_GetItem(kwnames, k),
                        positional[npositional + k]))
        return raised();
    }
  }
  if (kwdict) {
    Py_ssize_t pos = 0;
    PyObject *key = nullptr, *value = nullptr;
    while (PyDict_Next(kwdict, &pos, &key, &value)) {
      if (!bind_keyword(function, params, out, npositional, key, value)) return raised();
    }
  }

  for (std::size_t i = 0; i < params.size(); ++i) {
    if (out[i] || !params[i].required) continue;
    if (params[i].keyword_only)
      return raise(PyExc_TypeError,
                   cat(function, "() missing required keyword-only argument '",
                       params[i].name, "'"));
    return raise(PyExc_TypeError, cat(function, "() missing required argument '",
                                      params[i].name, "' (pos ", i + 1, ")"));
  }
  return {};
}

namespace {
std::unexpected<Raised> type_mismatch(std::string_view function, std::string_view param,
                                 std::string_view expected, PyObject* o) {
  return raise(PyExc_TypeError, cat(function, "() argument '", param, "' must be ", expected,
                                    ", not ", type_name(o)));
}
}  // namespace

Result<std::string_view> as_str(std::string_view function, std::string_view param, PyObject* o) {
  if (!PyUnicode_Check(o)) return type_mismatch(function, param, "str", o);
  return utf8(o);
}

Result<bool> as_flag(std::string_view function, std::string_view param, PyObject* o) {
  if (!PyBool_Check(o)) return type_mismatch(function, param, "bool", o);
  return o == Py_True;
}

Result<PyObject*> as_exact(std::string_view function, std::string_view param, PyObject* o,
                           PyTypeObject* type) {
  if (Py_IS_TYPE(o, type)) return o;
  Ref name = Ref::steal(PyType_GetName(type));
  auto text = name ? utf8(name.get()) : Result<std::string_view>(raised());
  if (!text) return raised();
  return type_mismatch(function, param, *text, o);
}

}  // namespace quorlen::py::detail

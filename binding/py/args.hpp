// Argument binding by text signature, with the interpreter's usual TypeError wording for
// arity and keyword mismatches, and typed readers that name the parameter on a mismatch.
//
//   constexpr py::Signature<2> kSig{"make_prompt_load_error",
//                                   {{{"error_code", py::kPositional, py::kRequired},
//                                     {"message", py::kPositional, py::kRequired}}}};
//   auto args = py::bind(kSig, argv, nargs, kwnames);   // vectorcall / METH_FASTCALL
//   if (!args) return nullptr;
//   auto code = args->str(0);
#pragma once

#include <Python.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "py/ref.hpp"

namespace quorlen::py {

inline constexpr bool kPositional = false;
inline constexpr bool kKeywordOnly = true;
inline constexpr bool kRequired = true;
inline constexpr bool kOptional = false;

struct Param {
  std::string_view name;
  bool keyword_only = false;
  bool required = false;
};

// Positional-or-keyword parameters first, keyword-only ones after them.
template <std::size_t N>
struct Signature {
  std::string_view function;  // as named in messages: "render", "Prompt"
  std::array<Param, N> params;
};

namespace detail {
// Fills `out` (borrowed references, null when omitted) from positional values and keywords
// given either as vectorcall names + values or as a dict (either may be null).
Result<void> bind(std::string_view function, std::span<const Param> params,
                  std::span<PyObject*> out, PyObject* const* positional, Py_ssize_t npositional,
                  PyObject* kwnames, PyObject* kwdict);

Result<std::string_view> as_str(std::string_view function, std::string_view param, PyObject* o);
Result<bool> as_flag(std::string_view function, std::string_view param, PyObject* o);
Result<PyObject*> as_exact(std::string_view function, std::string_view param, PyObject* o,
                           PyTypeObject* type);
}  // namespace detail

// The bound arguments of one call: borrowed references, null for an omitted parameter.
template <std::size_t N>
class Bound {
 public:
  Bound(const Signature<N>& sig) : sig_(&sig) {}

  PyObject* operator[](std::size_t i) const { return values_[i]; }
  // Null when omitted or passed as None: the two mean the same for a default of None.
  PyObject* opt(std::size_t i) const { return values_[i] == Py_None ? nullptr : values_[i]; }

  Result<std::string_view> str(std::size_t i) const {
    return detail::as_str(sig_->function, sig_->params[i].name, values_[i]);
  }
  Result<std::optional<std::string_view>> opt_str(std::size_t i) const {
    if (!opt(i)) return std::nullopt;
    return str(i);
  }
  // A flag accepts only True or False once passed; None and integers are refused.
  Result<bool> flag(std::size_t i, bool fallback) const {
    if (!values_[i]) return fallback;
    return detail::as_flag(sig_->function, sig_->params[i].name, values_[i]);
  }
  // An instance of exactly `type` (subclasses cannot exist), or null when omitted / None.
  Result<PyObject*> opt_exact(std::size_t i, PyTypeObject* type) const {
    if (!opt(i)) return nullptr;
    return detail::as_exact(sig_->function, sig_->params[i].name, values_[i], type);
  }

  std::span<PyObject*> slots() { return values_; }

 private:
  const Signature<N>* sig_;
  std::array<PyObject*, N> values_{};
};

// METH_FASTCALL | METH_KEYWORDS and vectorcall calls.
template <std::size_t N>
Result<Bound<N>> bind(const Signature<N>& sig, PyObject* const* args, Py_ssize_t nargsf,
                      PyObject* kwnames) {
  Bound<N> bound(sig);
  if (!detail::bind(sig.function, sig.params, bound.slots(), args, PyVectorcall_NARGS(nargsf),
                    kwnames, nullptr))
    return raised();
  return bound;
}

// tp_new calls: a tuple of positional values and a dict of keywords (may be null).
template <std::size_t N>
Result<Bound<N>> bind(const Signature<N>& sig, PyObject* args, PyObject* kwargs) {
  Bound<N> bound(sig);
  const Py_ssize_t n = PyTuple_Size(args);
  if (n < 0) return raised();
  // Only the first N can be stored; more than that is an arity error reported by binding.
  std::array<PyObject*, N + 1> positional{};
  const Py_ssize_t kept = std::min<Py_ssize_t>(n, static_cast<Py_ssize_t>(N));
  for (Py_ssize_t i = 0; i < kept; ++i) positional[i] = PyTuple_GetItem(args, i);
  if (!detail::bind(sig.function, sig.params, bound.slots(), positional.data(), n, nullptr,
                    kwargs))
    return raised();
  return bound;
}

}  // namespace quorlen::py

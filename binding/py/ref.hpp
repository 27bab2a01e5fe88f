// Owning references and the error channel every binding function shares.
#pragma once

#include <Python.h>

#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace quorlen::py {

// A strong reference, released on destruction. A null Ref means "a Python exception is set"
// when it comes back from a C API call.
class Ref {
 public:
  Ref() = default;
  // Takes over a new reference (the usual return of the C API).
  static Ref steal(PyObject* o) { return Ref(o); }
  // Adds a reference to a borrowed one.
  static Ref borrow(PyObject* o) {
    Py_XINCREF(o);
    return Ref(o);
  }
  Ref(const Ref& other) : obj_(other.obj_) { Py_XINCREF(obj_); }
  Ref(Ref&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(obj_, other.obj_);
    return *this;
  }
  ~Ref() { Py_XDECREF(obj_); }

  PyObject* get() const { return obj_; }
  explicit operator bool() const { return obj_ != nullptr; }
  // Hands the reference to the caller (for returning to the interpreter).
  PyObject* release() { return std::exchange(obj_, nullptr); }

 private:
  explicit Ref(PyObject* o) : obj_(o) {}
  PyObject* obj_ = nullptr;
};

// The error channel of binding code: the Python error indicator is set and the caller
// unwinds to the interpreter.
struct Raised {};
template <class T>
using Result = std::expected<T, Raised>;
inline std::unexpected<Raised> raised() { return std::unexpected(Raised{}); }

// Sets `type` with `message` and reports it as Raised.
std::unexpected<Raised> raise(PyObject* type, std::string_view message);

// A new str from UTF-8 text (null with an exception set on failure).
inline Ref str(std::string_view text) {
  return Ref::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

// The UTF-8 text of a str (borrowed from the object; valid while it lives). A str holding
// a lone surrogate cannot be encoded and raises UnicodeEncodeError.
Result<std::string_view> utf8(PyObject* s);

// The UTF-8 text of a str, with every lone surrogate replaced by U+FFFD (for texts that are
// only shown, never round-tripped). Never fails for a str.
std::string utf8_replacing(PyObject* s);

// For exceptions that are to be discarded: clears an ordinary Exception and returns true;
// leaves anything else (KeyboardInterrupt, SystemExit, ...) pending and returns false.
bool discard_exception();

// `__name__` of the object's type, for messages.
std::string type_name(PyObject* o);

}  // namespace quorlen::py

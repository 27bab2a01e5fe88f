// The module's exceptions, the FieldError row class, and the translation of consumer errors
// into raised exceptions carrying their rows in `.errors`.
#pragma once

#include <Python.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "py/ref.hpp"

#include "quorlen/consumer/error.hpp"

namespace quorlen::py {

// One row as the binding holds it: field, code, message.
struct FieldRow {
  std::string field;
  std::string code;
  std::string message;
};

enum class ErrorKind { Validation, Render, Load };

// Each created once per process, the base first; null with an exception set on failure.
PyTypeObject* field_error_type();
PyObject* quorlen_error_type();
PyObject* validation_error_type();
PyObject* render_error_type();
PyObject* load_error_type();
PyObject* prompt_load_error_type();

// "{head} ({n} error(s))" then "; {field}: {message} [{code}]" per row, nothing left out.
std::string summarize(std::string_view head, std::span<const FieldRow> rows);

// The exception instance to raise for these rows (Load: `rows` holds the one load row), or,
// should building it fail, the exception describing that failure.
Ref make_error(ErrorKind kind, std::vector<FieldRow> rows);
Ref consumer_error_to_pyerr(consumer::ConsumerError error);

// Sets `exception` (from make_error / consumer_error_to_pyerr) as the pending exception.
std::unexpected<Raised> raise_error(Ref exception);
inline std::unexpected<Raised> raise_rows(ErrorKind kind, std::vector<FieldRow> rows) {
  return raise_error(make_error(kind, std::move(rows)));
}
inline std::unexpected<Raised> raise_consumer(consumer::ConsumerError error) {
  return raise_error(consumer_error_to_pyerr(std::move(error)));
}
inline std::unexpected<Raised> raise_load(std::string text) {
  return raise_rows(ErrorKind::Load, {FieldRow{"", "load", std::move(text)}});
}

// Adds FieldError, the five exceptions and make_prompt_load_error, in that order.
Result<void> register_errors(PyObject* module);

}  // namespace quorlen::py

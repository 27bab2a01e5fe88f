// Making engine errors. Errors made away from a template (in a builtin) get their template
// name and line from the evaluator on the way out.
#pragma once

#include <jinja/jinja.hpp>

#include <expected>
#include <string>

namespace jinja {

inline Error make_error(ErrorKind kind) { return Error{kind, std::nullopt, std::nullopt, 0}; }
inline Error make_error(ErrorKind kind, std::string detail) {
  return Error{kind, std::move(detail), std::nullopt, 0};
}
inline std::unexpected<Error> fail(ErrorKind kind) { return std::unexpected(make_error(kind)); }
inline std::unexpected<Error> fail(ErrorKind kind, std::string detail) {
  return std::unexpected(make_error(kind, std::move(detail)));
}

}  // namespace jinja

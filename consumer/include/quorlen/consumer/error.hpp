// The one error contract of the library: failures travel as rows of {field, code, message},
// and kernel failures are converted into such rows here, where bound values are scrubbed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "quorlen/core/error.hpp"

namespace quorlen::consumer {

// One failure row. `message` is safe to log: it never holds a bound variable value unless
// the caller asked for render detail (from_kernel_revealing).
struct FieldError {
  std::string field;
  std::string code;
  std::string message;
  friend bool operator==(const FieldError&, const FieldError&) = default;
};

// The closed code vocabulary.
namespace codes {
inline constexpr std::string_view kValidation = "validation";
inline constexpr std::string_view kRender = "render";
inline constexpr std::string_view kParse = "parse";
inline constexpr std::string_view kLoad = "load";
inline constexpr std::string_view kLoadNotFound = "load_not_found";
inline constexpr std::string_view kLoadIo = "load_io";
inline constexpr std::string_view kUnknownVariant = "unknown_variant";
inline constexpr std::string_view kUndefinedVariable = "undefined_variable";
inline constexpr std::string_view kExcludedFeature = "excluded_feature";
}  // namespace codes

// Validation and Render carry rows (Render: always exactly one when made by this library);
// Load carries one text, which the Python side reports as the row {"", "load", text}.
struct ConsumerError {
  enum class Kind { Validation, Render, Load };

  Kind kind = Kind::Render;
  std::vector<FieldError> rows;  // Validation, Render
  std::string text;              // Load

  static ConsumerError validation(std::vector<FieldError> rows);
  static ConsumerError render(FieldError row);
  static ConsumerError load(std::string text);

  // Every kind as rows, in order; a Load error gives its single "load" row.
  std::vector<FieldError> as_rows() const;

  friend bool operator==(const ConsumerError&, const ConsumerError&) = default;
};

// The scrubbing conversion: render and excluded-feature detail is replaced by fixed texts,
// parse diagnostics (template source only) are kept. Always a one-row Render error.
ConsumerError from_kernel(core::KernelError error);

// As from_kernel, except that with `reveal` a kernel Render failure keeps its full detail
// as the message. No other kind is ever widened.
ConsumerError from_kernel_revealing(core::KernelError error, bool reveal);

}  // namespace quorlen::consumer

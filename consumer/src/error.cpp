#include "quorlen/consumer/error.hpp"

#include <utility>

namespace quorlen::consumer {

using KernelKind = core::KernelError::Kind;

ConsumerError ConsumerError::validation(std::vector<FieldError> rows) {
  return ConsumerError{Kind::Validation, std::move(rows), {}};
}

ConsumerError ConsumerError::render(FieldError row) {
  std::vector<FieldError> rows;
  rows.push_back(std::move(row));
  return ConsumerError{Kind::Render, std::move(rows), {}};
}

ConsumerError ConsumerError::load(std::string text) {
  return ConsumerError{Kind::Load, {}, std::move(text)};
}

std::vector<FieldError> ConsumerError::as_rows() const {
  if (kind != Kind::Load) return rows;
  return {FieldError{"", std::string(codes::kLoad), text}};
}

ConsumerError from_kernel(core::KernelError error) {
  auto row = [](std::string_view field, std::string_view code, std::string message) {
    return ConsumerError::render(
        FieldError{std::string(field), std::string(code), std::move(message)});
  };
  switch (error.kind) {
    case KernelKind::UnknownVariant:
      return row("variant", codes::kUnknownVariant,
                 "unknown variant: `" + error.text + "`");
    case KernelKind::ExcludedFeature:
      return row("template", codes::kExcludedFeature, "template uses an excluded feature");
    case KernelKind::Parse:
      return row("template", codes::kParse, "template parse error: " + error.text);
    case KernelKind::UndefinedVariable: {
      std::string message = "undefined variable at render: `" + error.text + "`";
      return ConsumerError::render(FieldError{std::move(error.text),
                                              std::string(codes::kUndefinedVariable),
                                              std::move(message)});
    }
    case KernelKind::Render:
      // The engine's detail may quote bound values; it is dropped here on purpose.
      return row("template", codes::kRender, "render error");
    case KernelKind::Guard:
      return row("guard", codes::kRender,
                 "guard advisory override is invalid: " + error.text);
  }
  return row("template", codes::kRender, "render error");
}

ConsumerError from_kernel_revealing(core::KernelError error, bool reveal) {
  if (reveal && error.kind == KernelKind::Render) {
    return ConsumerError::render(
        FieldError{"template", std::string(codes::kRender), std::move(error.text)});
  }
  return from_kernel(std::move(error));
}

}  // namespace quorlen::consumer

#include <array>
#include <string>
#include <string_view>

#include "quorlen/core/engine.hpp"

namespace quorlen::core {
namespace {

// The engine has none of these statements, so a template using one fails with "unknown
// statement NAME"; they are reported apart from ordinary syntax errors because they mean the
// author expected multi-template features this single-template language does not offer.
constexpr std::array<std::string_view, 6> kExcludedStatements = {
    "unknown statement include", "unknown statement extends", "unknown statement import",
    "unknown statement from",    "unknown statement macro",   "unknown statement block",
};

bool names_excluded_statement(std::string_view full_text) {
  std::string lowered(full_text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (std::string_view needle : kExcludedStatements) {
    if (lowered.find(needle) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

KernelError map_engine_error(jinja::Error error) {
  switch (error.kind) {
    case jinja::ErrorKind::SyntaxError: {
      std::string text = error.full_text();
      const auto kind = names_excluded_statement(text) ? KernelError::Kind::ExcludedFeature
                                                       : KernelError::Kind::Parse;
      return {kind, std::move(text)};
    }
    case jinja::ErrorKind::UndefinedError:
      if (error.detail) return {KernelError::Kind::UndefinedVariable, std::move(*error.detail)};
      return {KernelError::Kind::UndefinedVariable, error.full_text()};
    default:
      return {KernelError::Kind::Render, error.full_text()};
  }
}

}  // namespace quorlen::core

#include <string>

#include "quorlen/core/origin.hpp"

namespace quorlen::core {

std::expected<jinja::Value, jinja::Error> guard_wrap(const jinja::Value& value) {
  // Strict undefined handling makes printing a missing name fail; wrapping it must not turn
  // that failure into an empty, seemingly successful span.
  if (value.is_undefined()) {
    return std::unexpected(jinja::Error{jinja::ErrorKind::UndefinedError, {}, {}, 0});
  }
  const std::string text = jinja::to_output_string(value);
  constexpr std::string_view kOpen = "<untrusted>";
  constexpr std::string_view kClose = "</untrusted>";
  std::string out;
  out.reserve(kOpen.size() + text.size() + text.size() / 8 + kClose.size());
  out += kOpen;
  // The ampersand is escaped in the same pass as the brackets, so the entities written here
  // are never escaped again.
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  out += kClose;
  return jinja::Value::from_string(std::move(out));
}

}  // namespace quorlen::core

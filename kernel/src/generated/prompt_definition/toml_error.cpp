// The positioned report: where, the line as written, carets under the span, then what.
#include <algorithm>
#include <string>

#include "generated/prompt_definition/toml_reader.hpp"
#include "generated/prompt_definition/toml_scalar.hpp"

namespace quorlen::core::generated::prompt_definition::toml {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// Lines longer than this are shown as a window around the span.
constexpr std::size_t kLongLine = 160;
constexpr std::size_t kContext = 60;

bool continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Moves `i` back to the start of the character it points into.
std::size_t char_start(std::string_view text, std::size_t i) {
  while (i > 0 && i < text.size() && continuation(text[i])) --i;
  return i;
}

// Appends text[from, to) as printable UTF-8, one replacement character per byte or control
// character that cannot be shown, so the caret line below stays aligned.
void append_printable(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u == '\t' || (u >= 0x20 && u < 0x7F)) {
      out.push_back(text[i++]);
      continue;
    }
    const std::size_t length = u < 0x80 ? 0 : utf8_sequence_length(text.substr(i));
    if (length == 0) {
      out.append(kReplacement);
      ++i;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
}

// One column per character: what append_printable shows for text[from, to).
std::size_t columns(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto u = static_cast<unsigned char>(text[i]);
    const std::size_t length = u < 0x80 ? 1 : utf8_sequence_length(text.substr(i));
    i += length == 0 ? 1 : length;
    ++n;
  }
  return n;
}

}  // namespace

Mark locate(std::string_view text, std::uint32_t offset) {
  const std::size_t origin = text.starts_with(kBom) && offset >= kBom.size() ? kBom.size() : 0;
  const std::size_t end = std::min<std::size_t>(offset, text.size());
  Mark mark{1, 1, offset};
  for (std::size_t i = origin; i < end; ++i) {
    if (text[i] == '\n') {
      ++mark.line;
      mark.column = 1;
    } else if (!continuation(text[i])) {
      ++mark.column;
    }
  }
  return mark;
}

std::string format_error(std::string_view text, const Error& error) {
  const std::size_t offset = std::min<std::size_t>(error.offset, text.size());
  const Mark at = locate(text, static_cast<std::uint32_t>(offset));

  std::size_t line_begin = text.rfind('\n', offset == 0 ? std::string_view::npos : offset - 1);
  line_begin = line_begin == std::string_view::npos ? 0 : line_begin + 1;
  if (line_begin == 0 && text.starts_with(kBom)) line_begin = kBom.size();
  line_begin = std::min(line_begin, offset);
  std::size_t line_end = text.find('\n', offset);
  if (line_end == std::string_view::npos) line_end = text.size();
  if (line_end > line_begin && text[line_end - 1] == '\r' && line_end - 1 >= offset) --line_end;

  std::size_t span_end = std::min<std::size_t>(offset + std::max<std::uint32_t>(error.width, 1),
                                               line_end);
  std::size_t shown_begin = line_begin;
  std::size_t shown_end = line_end;
  if (line_end - line_begin > kLongLine) {
    shown_begin = char_start(text, std::max(line_begin, offset > kContext ? offset - kContext : 0));
    shown_end = char_start(text, std::min(line_end, std::max(span_end, offset + 1) + kContext));
    if (shown_end < line_end && shown_end <= offset) shown_end = line_end;
    span_end = std::min(span_end, shown_end);
  }

  std::string excerpt = shown_begin > line_begin ? "..." : "";
  std::string pad(excerpt.size(), ' ');
  append_printable(excerpt, text.substr(shown_begin, shown_end - shown_begin));
  if (shown_end < line_end) excerpt += "...";
  for (std::size_t i = shown_begin; i < offset;) {
    const std::size_t length = std::max<std::size_t>(
        1, static_cast<unsigned char>(text[i]) < 0x80 ? 1 : utf8_sequence_length(text.substr(i)));
    pad.push_back(text[i] == '\t' ? '\t' : ' ');
    i += length;
  }
  const std::size_t carets =
      std::max<std::size_t>(1, span_end > offset ? columns(text.substr(offset, span_end - offset))
                                                 : 1);

  const std::string number = std::to_string(at.line);
  const std::string gutter(number.size(), ' ');
  std::string out = "TOML parse error at line " + number + ", column " +
                    std::to_string(at.column) + "\n";
  out.append(gutter).append(" |\n");
  out.append(number).append(" | ").append(excerpt).append("\n");
  out.append(gutter).append(" | ").append(pad).append(carets, '^').append("\n");
  out.append(error.message);
  return out;
}

std::uint32_t token_width(std::string_view text, std::uint32_t offset) {
  if (offset >= text.size()) return 1;
  const std::string_view rest = text.substr(offset);
  const std::size_t line = std::min(rest.find('\n'), rest.size());
  const char c = rest[0];
  std::size_t width = 1;
  if (c == '"' || c == '\'') {
    if (rest.starts_with(std::string(3, c))) return 3;
    for (std::size_t i = 1; i < line; ++i) {
      if (c == '"' && rest[i] == '\\') {
        ++i;
      } else if (rest[i] == c) {
        width = i + 1;
        break;
      }
    }
  } else if (c == '[' || c == '{') {
    // The bracketed value or header, when it closes on the same line.
    int level = 0;
    char quote = 0;
    for (std::size_t i = 0; i < line; ++i) {
      const char k = rest[i];
      if (quote != 0) {
        if (k == '\\' && quote == '"') {
          ++i;
        } else if (k == quote) {
          quote = 0;
        }
      } else if (k == '"' || k == '\'') {
        quote = k;
      } else if (k == '[' || k == '{') {
        ++level;
      } else if ((k == ']' || k == '}') && --level == 0) {
        width = i + 1;
        break;
      } else if (k == '#') {
        break;
      }
    }
  } else {
    std::size_t i = 0;
    while (i < line && (is_bare_key_char(rest[i]) || rest[i] == '.' || rest[i] == '+' ||
                        rest[i] == ':')) {
      ++i;
    }
    width = std::max<std::size_t>(i, 1);
  }
  return static_cast<std::uint32_t>(std::min<std::size_t>(width, line == 0 ? 1 : line));
}

}  // namespace quorlen::core::generated::prompt_definition::toml

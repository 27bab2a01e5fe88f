#include "quote.hpp"

#include <utf8proc.h>

#include <cstdio>

namespace quorlen::py {
namespace {

bool needs_code_escape(utf8proc_int32_t cp) {
  const utf8proc_property_t* prop = utf8proc_get_property(cp);
  switch (prop->category) {
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_CF:
    case UTF8PROC_CATEGORY_CO:
    case UTF8PROC_CATEGORY_CN:
    case UTF8PROC_CATEGORY_CS:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
      return true;
    case UTF8PROC_CATEGORY_ZS:
      return cp != ' ';
    default:
      return prop->boundclass == UTF8PROC_BOUNDCLASS_EXTEND;
  }
}

void append_code(std::string& out, utf8proc_int32_t cp) {
  char buf[16];
  const int n = std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(cp));
  out.append(buf, static_cast<std::size_t>(n));
}

}  // namespace

void append_quoted(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size() + 2);
  out.push_back('"');
  auto* p = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  auto left = static_cast<utf8proc_ssize_t>(text.size());
  while (left > 0) {
    if (*p < 0x80) {  // ASCII without a table look-up
      const char c = static_cast<char>(*p);
      switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\0': out += "\\0"; break;
        default:
          if (c < 0x20 || c == 0x7f) {
            append_code(out, c);
          } else {
            out.push_back(c);
          }
      }
      ++p;
      --left;
      continue;
    }
    utf8proc_int32_t cp = 0;
    utf8proc_ssize_t n = utf8proc_iterate(p, left, &cp);
    if (n <= 0) {  // not UTF-8: show the replacement character's code, one byte at a time
      append_code(out, 0xfffd);
      n = 1;
    } else if (needs_code_escape(cp)) {
      append_code(out, cp);
    } else {
      out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
    }
    p += n;
    left -= n;
  }
  out.push_back('"');
}

std::string quoted(std::string_view text) {
  std::string out;
  append_quoted(out, text);
  return out;
}

std::string quoted_option(const std::optional<std::string>& text) {
  if (!text) return "None";
  std::string out = "Some(";
  append_quoted(out, *text);
  out.push_back(')');
  return out;
}

}  // namespace quorlen::py

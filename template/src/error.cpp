#include <charconv>

#include <jinja/jinja.hpp>

namespace jinja {

std::string_view Error::description() const {
  switch (kind) {
    case ErrorKind::SyntaxError: return "syntax error";
    case ErrorKind::UndefinedError: return "undefined value";
    case ErrorKind::InvalidOperation: return "invalid operation";
    case ErrorKind::TooManyArguments: return "too many arguments";
    case ErrorKind::MissingArgument: return "missing argument";
    case ErrorKind::UnknownFilter: return "unknown filter";
    case ErrorKind::UnknownTest: return "unknown test";
    case ErrorKind::UnknownFunction: return "unknown function";
    case ErrorKind::UnknownMethod: return "unknown method";
    case ErrorKind::BadEscape: return "bad string escape";
    case ErrorKind::CannotUnpack: return "cannot unpack";
    case ErrorKind::TemplateNotFound: return "template not found";
    case ErrorKind::LimitExceeded: return "limit exceeded";
  }
  return "error";
}

std::string Error::full_text() const {
  std::string out(description());
  if (detail) {
    out += ": ";
    out += *detail;
  }
  if (template_name) {
    out += " (in ";
    out += *template_name;
    out.push_back(':');
    char buf[12];
    auto r = std::to_chars(buf, buf + sizeof buf, line);
    out.append(buf, r.ptr);
    out.push_back(')');
  }
  return out;
}

}  // namespace jinja

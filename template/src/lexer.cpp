#include "lexer.hpp"

namespace jinja {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
// Bytes of non-ASCII characters count as name characters, so names may be written in any
// script.
bool is_name_start(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool is_name_char(char c) { return is_name_start(c) || is_digit(c); }

}  // namespace

Token Lexer::next() {
  while (pos_ < src_.size() && is_space(src_[pos_])) ++pos_;
  Token t;
  t.offset = static_cast<std::uint32_t>(pos_);
  if (pos_ >= src_.size()) return t;
  std::string_view rest = src_.substr(pos_);
  auto take = [&](Tok kind, std::size_t n) {
    t.kind = kind;
    t.text = rest.substr(0, n);
    pos_ += n;
    return t;
  };
  char c = rest[0];
  // End markers, optionally preceded by whitespace control.
  std::size_t ctl = (c == '-' || c == '+') ? 1 : 0;
  if (brackets_ == 0 && rest.size() >= ctl + 2) {
    std::string_view end = rest.substr(ctl, 2);
    if (end == "}}" || end == "%}") {
      t.strip_after = c == '-';
      return take(end == "}}" ? Tok::VarEnd : Tok::BlockEnd, ctl + 2);
    }
  }
  if (is_name_start(c)) {
    std::size_t n = 1;
    while (n < rest.size() && is_name_char(rest[n])) ++n;
    return take(Tok::Name, n);
  }
  if (is_digit(c)) {
    std::size_t n = 1;
    while (n < rest.size() && (is_digit(rest[n]) || rest[n] == '_')) ++n;
    bool is_float = false;
    if (n + 1 < rest.size() && rest[n] == '.' && is_digit(rest[n + 1])) {
      is_float = true;
      n += 2;
      while (n < rest.size() && (is_digit(rest[n]) || rest[n] == '_')) ++n;
    }
    if (n < rest.size() && (rest[n] == 'e' || rest[n] == 'E')) {
      std::size_t m = n + 1;
      if (m < rest.size() && (rest[m] == '+' || rest[m] == '-')) ++m;
      if (m < rest.size() && is_digit(rest[m])) {
        is_float = true;
        n = m;
        while (n < rest.size() && is_digit(rest[n])) ++n;
      }
    }
    return take(is_float ? Tok::Float : Tok::Int, n);
  }
  if (c == '\'' || c == '"') {
    std::size_t n = 1;
    while (n < rest.size() && rest[n] != c) n += rest[n] == '\\' ? 2 : 1;
    if (n >= rest.size()) {
      t.kind = Tok::Bad;
      t.text = rest.substr(0, 1);
      return t;
    }
    return take(Tok::String, n + 1);
  }
  if (rest.size() >= 2) {
    char d = rest[1];
    if ((d == c && (c == '*' || c == '/')) ||
        (d == '=' && (c == '=' || c == '!' || c == '<' || c == '>'))) {
      return take(Tok::Op, 2);
    }
  }
  static constexpr std::string_view kOne = "+-*/%~<>=.,:|()[]{}";
  if (kOne.find(c) != std::string_view::npos) {
    if (c == '(' || c == '[' || c == '{') ++brackets_;
    if ((c == ')' || c == ']' || c == '}') && brackets_ > 0) --brackets_;
    return take(Tok::Op, 1);
  }
  t.kind = Tok::Bad;
  t.text = rest.substr(0, 1);
  return t;
}

}  // namespace jinja

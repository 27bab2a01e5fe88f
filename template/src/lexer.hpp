// Splits the inside of a tag into tokens; the parser asks for one at a time.
#pragma once

#include <cstdint>
#include <string_view>

namespace jinja {

enum class Tok : std::uint8_t {
  Name, String, Int, Float, Op,
  VarEnd,    // }} (with its whitespace control)
  BlockEnd,  // %}
  Eof,
  Bad,       // a character no token starts with
};

struct Token {
  Tok kind = Tok::Eof;
  std::string_view text;  // for strings: with quotes; for ends: the whole marker
  std::uint32_t offset = 0;
  bool strip_after = false;  // an end marker written -}} / -%}

  bool is_op(std::string_view op) const { return kind == Tok::Op && text == op; }
  bool is_name(std::string_view name) const { return kind == Tok::Name && text == name; }
};

class Lexer {
 public:
  explicit Lexer(std::string_view source) : src_(source) {}

  std::size_t pos() const { return pos_; }
  void set_pos(std::size_t pos) { pos_ = pos; }
  // The next token inside a tag. Brackets are balanced so that `}}` inside a map literal
  // does not end a `{{ }}` tag.
  Token next();
  void reset_brackets() { brackets_ = 0; }

 private:
  std::string_view src_;
  std::size_t pos_ = 0;
  int brackets_ = 0;
};

}  // namespace jinja

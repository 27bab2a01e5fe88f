// The one strict JSON scanner behind json::parse and the positioned node reader. The
// grammar, the messages and the positions live here once; a Sink decides what tree is
// built (see json_parse.cpp and generated/prompt_definition/json_text.cpp).
//
// Positions: 1-based lines and byte columns of the byte at fault. A failure at the end of
// the text is placed on the last byte read (column 0 on an empty line), so an empty text
// fails "at line 1 column 0".
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "json_number.hpp"
#include "quorlen/core/json.hpp"

namespace quorlen::core::json::detail {

struct Position {
  std::uint32_t line = 1;
  std::uint32_t column = 0;
  std::uint32_t offset = 0;
};

struct Number {
  enum class Kind { Negative, NonNegative, Float } kind = Kind::NonNegative;
  std::int64_t negative = 0;       // Negative: below zero
  std::uint64_t non_negative = 0;  // NonNegative
  double floating = 0;             // Float
};

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  // Skips white space and returns the next byte without taking it; -1 at the end.
  int peek_significant() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        line_start_ = pos_ + 1;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        return static_cast<unsigned char>(c);
      }
      ++pos_;
    }
    return -1;
  }

  void advance() { ++pos_; }
  Position here() const { return position(pos_ - line_start_ + 1); }
  Position at_end() const { return position(pos_ - line_start_); }

  bool fail(std::string_view message, Position at) {
    error_ = ParseError{std::string(message), at.line, at.column};
    return false;
  }
  bool fail_here(std::string_view message) { return fail(message, here()); }
  bool fail_at_end(std::string_view message) { return fail(message, at_end()); }
  ParseError take_error() { return std::move(error_); }

  // At the opening quote; decodes into `out` (appending) and stops after the closing one.
  bool scan_string(std::string& out);
  // At '-' or a digit.
  bool scan_number(Number& out);
  // At the literal's first byte, already matched.
  bool scan_literal(std::string_view word);

 private:
  Position position(std::size_t column) const { return {line_, clamp(column), clamp(pos_)}; }
  static std::uint32_t clamp(std::size_t n) {
    constexpr std::size_t max = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(n < max ? n : max);
  }
  bool scan_escape(std::string& out);
  bool scan_hex4(std::uint32_t& out);

  std::string_view text_;
  std::size_t pos_ = 0;
  std::uint32_t line_ = 1;
  std::size_t line_start_ = 0;
  ParseError error_;
};

// Recursive descent, bounded by `max_depth` nested arrays and objects. A Sink provides,
// for its tree type Out:
//   null(Out&, Position), boolean(Out&, bool, Position), number(Out&, const Number&, Position),
//   string(Out&, Position) -> std::string& (filled in place),
//   begin_array(Out&, Position), push(Out& array) -> Out&,
//   begin_object(Out&, Position), entry(Out& object, std::string&& key, Position) -> Out&,
//   end(Out&, Position) once a string or collection is complete (for a collection, the
//   position of its closing bracket).
// Keys and values one document may hold: room for a million-item list, and it keeps a hostile
// 100 MB `[0,0,...]` from building tens of millions of nodes.
inline constexpr std::size_t max_nodes = std::size_t{1} << 20;

template <class Sink, class Out>
class Parser {
 public:
  explicit Parser(std::string_view text) : scanner_(text) {}

  bool document(Out& out) {
    if (scanner_.peek_significant() < 0) return scanner_.fail_at_end("EOF while parsing a value");
    if (!value(out)) return false;
    if (scanner_.peek_significant() >= 0) return scanner_.fail_here("trailing characters");
    return true;
  }
  ParseError take_error() { return scanner_.take_error(); }

 private:
  bool count(Position at) {
    if (++nodes_ <= max_nodes) return true;
    return scanner_.fail(
        "too many keys and values: a document may hold at most " + std::to_string(max_nodes), at);
  }

  bool value(Out& out) {
    int c = scanner_.peek_significant();
    Position at = scanner_.here();
    if (c >= 0 && !count(at)) return false;
    switch (c) {
      case -1:
        return scanner_.fail_at_end("EOF while parsing a value");
      case '"':
        if (!scanner_.scan_string(Sink::string(out, at))) return false;
        Sink::end(out, at);
        return true;
      case '[':
        return array(out, at);
      case '{':
        return object(out, at);
      case 't':
        if (!scanner_.scan_literal("true")) return false;
        Sink::boolean(out, true, at);
        return true;
      case 'f':
        if (!scanner_.scan_literal("false")) return false;
        Sink::boolean(out, false, at);
        return true;
      case 'n':
        if (!scanner_.scan_literal("null")) return false;
        Sink::null(out, at);
        return true;
      default:
        if (c == '-' || (c >= '0' && c <= '9')) {
          Number n;
          if (!scanner_.scan_number(n)) return false;
          Sink::number(out, n, at);
          return true;
        }
        return scanner_.fail_here("expected value");
    }
  }

  bool enter(Position at) {
    if (depth_ == max_depth) return scanner_.fail("recursion limit exceeded", at);
    ++depth_;
    scanner_.advance();
    return true;
  }

  bool array(Out& out, Position at) {
    if (!enter(at)) return false;
    Sink::begin_array(out, at);
    int c = scanner_.peek_significant();
    if (c != ']') {
      while (true) {
        if (c < 0) return scanner_.fail_at_end("EOF while parsing a list");
        if (!value(Sink::push(out))) return false;
        c = scanner_.peek_significant();
        if (c == ']') break;
        if (c < 0) return scanner_.fail_at_end("EOF while parsing a list");
        if (c != ',') return scanner_.fail_here("expected `,` or `]`");
        scanner_.advance();
        c = scanner_.peek_significant();
        if (c == ']') return scanner_.fail_here("trailing comma");
      }
    }
    Sink::end(out, scanner_.here());
    scanner_.advance();
    --depth_;
    return true;
  }

  bool object(Out& out, Position at) {
    if (!enter(at)) return false;
    Sink::begin_object(out, at);
    int c = scanner_.peek_significant();
    if (c != '}') {
      while (true) {
        if (c < 0) return scanner_.fail_at_end("EOF while parsing an object");
        if (c != '"') return scanner_.fail_here("key must be a string");
        Position key_at = scanner_.here();
        if (!count(key_at)) return false;
        std::string key;
        if (!scanner_.scan_string(key)) return false;
        // The entry exists before its colon is checked, so a reader of the partial tree
        // sees the key (an unknown field precedes a syntax error right after it).
        Out& item = Sink::entry(out, std::move(key), key_at);
        c = scanner_.peek_significant();
        if (c < 0) return scanner_.fail_at_end("EOF while parsing an object");
        if (c != ':') return scanner_.fail_here("expected `:`");
        scanner_.advance();
        if (!value(item)) return false;
        c = scanner_.peek_significant();
        if (c == '}') break;
        if (c < 0) return scanner_.fail_at_end("EOF while parsing an object");
        if (c != ',') return scanner_.fail_here("expected `,` or `}`");
        scanner_.advance();
        c = scanner_.peek_significant();
        if (c == '}') return scanner_.fail_here("trailing comma");
      }
    }
    Sink::end(out, scanner_.here());
    scanner_.advance();
    --depth_;
    return true;
  }

  Scanner scanner_;
  std::size_t depth_ = 0;
  std::size_t nodes_ = 0;
};

}  // namespace quorlen::core::json::detail

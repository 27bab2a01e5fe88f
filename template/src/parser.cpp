#include "parser.hpp"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <optional>
#include <tuple>
#include <string>

#include "error_util.hpp"
#include "lexer.hpp"
#include "limits.hpp"
#include "utf8.hpp"
#include "value.hpp"

namespace jinja {

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view rstrip(std::string_view s) {
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}
std::string_view lstrip(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  return s;
}

class Parser {
 public:
  explicit Parser(std::string_view src) : src_(src), lex_(src) {
    // Rough node counts per source byte, so that the vectors rarely grow.
    ast_.exprs.reserve(src.size() / 12 + 4);
    ast_.stmts.reserve(src.size() / 24 + 4);
    ast_.bodies.reserve(src.size() / 24 + 4);
  }

  std::expected<Ast, Error> run() {
    std::vector<std::uint32_t> body;
    auto r = parse_body({}, body);
    if (too_deep_ && (r || line_of(src_, *too_deep_) <= r.error().line)) {
      return fail_at(*too_deep_, "expression is nested too deeply");
    }
    if (!r) return std::unexpected(r.error());
    ast_.root_begin = static_cast<std::uint32_t>(ast_.bodies.size());
    ast_.root_count = static_cast<std::uint32_t>(body.size());
    ast_.bodies.insert(ast_.bodies.end(), body.begin(), body.end());
    return std::move(ast_);
  }

 private:
  using Id = std::expected<std::uint32_t, Error>;
  using Done = std::expected<void, Error>;

  // ---- errors ----------------------------------------------------------------------
  std::unexpected<Error> fail_at(std::uint32_t offset, std::string detail) const {
    Error e = make_error(ErrorKind::SyntaxError, std::move(detail));
    e.line = line_of(src_, offset);
    return std::unexpected(std::move(e));
  }
  std::string describe(const Token& t) const {
    switch (t.kind) {
      case Tok::Eof: return "end of input";
      case Tok::VarEnd: return "end of variable block";
      case Tok::BlockEnd: return "end of block";
      case Tok::String: return "string";
      default: return "`" + std::string(t.text) + "`";
    }
  }
  std::unexpected<Error> unexpected(std::string_view expected) const {
    if (tok_.kind == Tok::Bad) {
      bool quote = tok_.text == "'" || tok_.text == "\"";
      return fail_at(tok_.offset, quote ? "unexpected end of string" : "unexpected character");
    }
    std::string d = "unexpected " + describe(tok_);
    if (!expected.empty()) d += ", expected " + std::string(expected);
    return fail_at(tok_.offset, std::move(d));
  }

  // ---- tokens ----------------------------------------------------------------------
  void advance() { tok_ = lex_.next(); }
  bool accept_op(std::string_view op) {
    if (!tok_.is_op(op)) return false;
    advance();
    return true;
  }
  bool accept_name(std::string_view name) {
    if (!tok_.is_name(name)) return false;
    advance();
    return true;
  }
  Done expect_op(std::string_view op) {
    if (accept_op(op)) return {};
    return unexpected("`" + std::string(op) + "`");
  }
  Done expect_block_end() {
    if (tok_.kind != Tok::BlockEnd) return unexpected("end of block");
    strip_next_ = tok_.strip_after;
    lex_.set_pos(tok_.offset + tok_.text.size());
    return {};
  }

  Done enter(std::uint32_t offset) {
    if (++depth_ > limits::kMaxParseDepth) return fail_at(offset, "template is nested too deeply");
    return {};
  }
  void leave() { --depth_; }

  // ---- nodes -----------------------------------------------------------------------
  std::uint32_t add(Expr e) {
    // Long operator chains nest without recursion in the parser; bound their height so that
    // evaluating them cannot exhaust the stack.
    std::uint32_t h = 0;
    for (std::uint32_t child : {e.a, e.b, e.c, e.d}) {
      if (child != kNoNode && e.kind != ExprKind::Const) h = std::max<std::uint32_t>(h, ast_.exprs[child].height);
    }
    for (std::uint32_t i = 0; i < e.args_count; ++i) {
      h = std::max<std::uint32_t>(h, ast_.exprs[ast_.args[e.args_begin + i].expr].height);
    }
    if (h + 1 > limits::kMaxExprHeight) {
      if (!too_deep_) too_deep_ = e.offset;
      h = limits::kMaxExprHeight;
    }
    e.height = static_cast<std::uint16_t>(h + 1);
    ast_.exprs.push_back(std::move(e));
    return static_cast<std::uint32_t>(ast_.exprs.size() - 1);
  }
  std::uint32_t add(Stmt s) {
    ast_.stmts.push_back(std::move(s));
    return static_cast<std::uint32_t>(ast_.stmts.size() - 1);
  }
  std::uint32_t constant(Value v) {
    ast_.constants.push_back(std::move(v));
    return static_cast<std::uint32_t>(ast_.constants.size() - 1);
  }
  void set_args(Expr& e, const std::vector<Arg>& args) {
    e.args_begin = static_cast<std::uint32_t>(ast_.args.size());
    e.args_count = static_cast<std::uint32_t>(args.size());
    ast_.args.insert(ast_.args.end(), args.begin(), args.end());
  }
  std::pair<std::uint32_t, std::uint32_t> store_body(const std::vector<std::uint32_t>& body) {
    auto begin = static_cast<std::uint32_t>(ast_.bodies.size());
    ast_.bodies.insert(ast_.bodies.end(), body.begin(), body.end());
    return {begin, static_cast<std::uint32_t>(body.size())};
  }

  // ---- template structure ----------------------------------------------------------
  // Parses statements until end of input or a `{% word %}` in `stops`; the stop word is
  // left in stop_word_ with the lexer after the name.
  Done parse_body(std::initializer_list<std::string_view> stops, std::vector<std::uint32_t>& out) {
    stop_word_ = {};
    while (true) {
      std::size_t start = lex_.pos();
      std::size_t open = src_.size();
      char kind = 0;
      for (std::size_t i = src_.find('{', start); i != std::string_view::npos && i + 1 < src_.size();
           i = src_.find('{', i + 1)) {
        char n = src_[i + 1];
        if (n == '{' || n == '%' || n == '#') {
          open = i;
          kind = n;
          break;
        }
      }
      std::string_view text = src_.substr(start, open - start);
      bool strip_before = open + 2 < src_.size() && src_[open + 2] == '-';
      if (strip_next_) text = lstrip(text);
      if (strip_before) text = rstrip(text);
      strip_next_ = false;
      if (!text.empty()) {
        Stmt s{StmtKind::Data};
        s.offset = static_cast<std::uint32_t>(start);
        s.text = text;
        out.push_back(add(std::move(s)));
      }
      if (kind == 0) {
        lex_.set_pos(src_.size());
        if (stops.size() != 0) {
          tok_ = Token{};
          tok_.offset = static_cast<std::uint32_t>(src_.size());
          return unexpected("end of block");
        }
        return {};
      }
      std::size_t inner = open + 2;
      if (inner < src_.size() && (src_[inner] == '-' || src_[inner] == '+')) ++inner;
      lex_.set_pos(inner);
      lex_.reset_brackets();
      if (kind == '#') {
        if (auto r = skip_comment(open); !r) return r;
        continue;
      }
      advance();
      if (kind == '{') {
        auto offset = static_cast<std::uint32_t>(open);
        auto e = parse_expression();
        if (!e) return std::unexpected(e.error());
        if (tok_.kind != Tok::VarEnd) return unexpected("end of variable block");
        strip_next_ = tok_.strip_after;
        lex_.set_pos(tok_.offset + tok_.text.size());
        Stmt s{StmtKind::Output};
        s.offset = offset;
        s.expr = *e;
        out.push_back(add(std::move(s)));
        continue;
      }
      if (tok_.kind != Tok::Name) return unexpected("statement name");
      std::string_view word = tok_.text;
      if (std::find(stops.begin(), stops.end(), word) != stops.end()) {
        stop_word_ = word;
        stop_offset_ = tok_.offset;
        advance();
        return {};
      }
      auto stmt = parse_statement(word, static_cast<std::uint32_t>(open), out);
      if (!stmt) return std::unexpected(stmt.error());
    }
  }

  Done skip_comment(std::size_t open) {
    std::size_t close = src_.find("#}", open + 2);
    if (close == std::string_view::npos) {
      tok_ = Token{};
      tok_.offset = static_cast<std::uint32_t>(src_.size());
      return unexpected("end of comment");
    }
    strip_next_ = close > open + 2 && src_[close - 1] == '-';
    lex_.set_pos(close + 2);
    return {};
  }

  // Body up to one of `stops`; the stop word's own tag end is consumed unless it is `elif`.
  Done parse_block_body(std::initializer_list<std::string_view> stops,
                        std::vector<std::uint32_t>& body, std::uint32_t offset) {
    if (auto r = enter(offset); !r) return r;
    auto r = parse_body(stops, body);
    leave();
    return r;
  }

  Done parse_statement(std::string_view word, std::uint32_t offset,
                       std::vector<std::uint32_t>& out) {
    advance();
    Stmt s{StmtKind::Data};
    s.offset = offset;
    if (word == "if") return parse_if(offset, out);
    if (word == "for") return parse_for(offset, out);
    if (word == "set") return parse_set(offset, out);
    if (word == "with") return parse_with(offset, out);
    if (word == "filter") return parse_filter_block(offset, out);
    if (word == "autoescape") {
      s.kind = StmtKind::Autoescape;
      auto e = parse_expression();
      if (!e) return std::unexpected(e.error());
      s.expr = *e;
      if (auto r = expect_block_end(); !r) return r;
      std::vector<std::uint32_t> body;
      if (auto r = parse_block_body({"endautoescape"}, body, offset); !r) return r;
      if (auto r = expect_block_end(); !r) return r;
      std::tie(s.body_begin, s.body_count) = store_body(body);
      out.push_back(add(std::move(s)));
      return {};
    }
    if (word == "do") {
      s.kind = StmtKind::Do;
      auto e = parse_expression();
      if (!e) return std::unexpected(e.error());
      s.expr = *e;
      if (auto r = expect_block_end(); !r) return r;
      out.push_back(add(std::move(s)));
      return {};
    }
    if (word == "raw") return parse_raw(offset, out);
    return fail_at(offset, "unknown statement " + std::string(word));
  }

  Done parse_if(std::uint32_t offset, std::vector<std::uint32_t>& out) {
    Stmt s{StmtKind::If};
    s.offset = offset;
    auto cond = parse_expression();
    if (!cond) return std::unexpected(cond.error());
    s.expr = *cond;
    if (auto r = expect_block_end(); !r) return r;
    std::vector<std::uint32_t> body, other;
    if (auto r = parse_block_body({"elif", "else", "endif"}, body, offset); !r) return r;
    if (stop_word_ == "elif") {
      // An elif is an if nested in the else branch; it consumes the shared endif.
      if (auto r = parse_if(stop_offset_, other); !r) return r;
    } else if (stop_word_ == "else") {
      if (auto r = expect_block_end(); !r) return r;
      if (auto r = parse_block_body({"endif"}, other, offset); !r) return r;
      if (auto r = expect_block_end(); !r) return r;
    } else {
      if (auto r = expect_block_end(); !r) return r;
    }
    std::tie(s.body_begin, s.body_count) = store_body(body);
    std::tie(s.else_begin, s.else_count) = store_body(other);
    out.push_back(add(std::move(s)));
    return {};
  }

  Done parse_for(std::uint32_t offset, std::vector<std::uint32_t>& out) {
    Stmt s{StmtKind::For};
    s.offset = offset;
    auto target = parse_target();
    if (!target) return std::unexpected(target.error());
    s.target = *target;
    if (!accept_name("in")) return unexpected("`in`");
    auto iter = parse_tuple_or([this] { return parse_or(); });
    if (!iter) return std::unexpected(iter.error());
    s.expr = *iter;
    if (accept_name("if")) {
      auto cond = parse_expression();
      if (!cond) return std::unexpected(cond.error());
      s.cond = *cond;
    }
    if (accept_name("recursive")) s.recursive = true;
    if (auto r = expect_block_end(); !r) return r;
    std::vector<std::uint32_t> body, other;
    if (auto r = parse_block_body({"else", "endfor"}, body, offset); !r) return r;
    if (stop_word_ == "else") {
      if (auto r = expect_block_end(); !r) return r;
      if (auto r = parse_block_body({"endfor"}, other, offset); !r) return r;
    }
    if (auto r = expect_block_end(); !r) return r;
    std::tie(s.body_begin, s.body_count) = store_body(body);
    std::tie(s.else_begin, s.else_count) = store_body(other);
    out.push_back(add(std::move(s)));
    return {};
  }

  Done parse_set(std::uint32_t offset, std::vector<std::uint32_t>& out) {
    Stmt s{StmtKind::Set};
    s.offset = offset;
    auto target = parse_target(true);
    if (!target) return std::unexpected(target.error());
    s.target = *target;
    if (accept_op("=")) {
      auto value = parse_tuple_or([this] { return parse_expression(); });
      if (!value) return std::unexpected(value.error());
      s.expr = *value;
      if (auto r = expect_block_end(); !r) return r;
      out.push_back(add(std::move(s)));
      return {};
    }
    s.kind = StmtKind::SetBlock;
    if (ast_.exprs[s.target].kind != ExprKind::Name) {
      return fail_at(ast_.exprs[s.target].offset, "block set needs a plain name");
    }
    if (tok_.is_op("|")) {
      auto chain = parse_filters(kNoNode);
      if (!chain) return std::unexpected(chain.error());
      s.expr = *chain;
    }
    if (auto r = expect_block_end(); !r) return r;
    std::vector<std::uint32_t> body;
    if (auto r = parse_block_body({"endset"}, body, offset); !r) return r;
    if (auto r = expect_block_end(); !r) return r;
    std::tie(s.body_begin, s.body_count) = store_body(body);
    out.push_back(add(std::move(s)));
    return {};
  }

  Done parse_with(std::uint32_t offset, std::vector<std::uint32_t>& out) {
    Stmt s{StmtKind::With};
    s.offset = offset;
    std::vector<Arg> pairs;
    while (tok_.kind != Tok::BlockEnd) {
      if (!pairs.empty()) {
        if (auto r = expect_op(","); !r) return r;
      }
      auto target = parse_target();
      if (!target) return std::unexpected(target.error());
      if (auto r = expect_op("="); !r) return r;
      auto value = parse_expression();
      if (!value) return std::unexpected(value.error());
      pairs.push_back({{}, *target});
      pairs.push_back({{}, *value});
    }
    if (auto r = expect_block_end(); !r) return r;
    std::vector<std::uint32_t> body;
    if (auto r = parse_block_body({"endwith"}, body, offset); !r) return r;
    if (auto r = expect_block_end(); !r) return r;
    s.args_begin = static_cast<std::uint32_t>(ast_.args.size());
    s.args_count = static_cast<std::uint32_t>(pairs.size());
    ast_.args.insert(ast_.args.end(), pairs.begin(), pairs.end());
    std::tie(s.body_begin, s.body_count) = store_body(body);
    out.push_back(add(std::move(s)));
    return {};
  }

  Done parse_filter_block(std::uint32_t offset, std::vector<std::uint32_t>& out) {
    Stmt s{StmtKind::FilterBlock};
    s.offset = offset;
    auto chain = parse_filters(kNoNode);
    if (!chain) return std::unexpected(chain.error());
    s.expr = *chain;
    if (auto r = expect_block_end(); !r) return r;
    std::vector<std::uint32_t> body;
    if (auto r = parse_block_body({"endfilter"}, body, offset); !r) return r;
    if (auto r = expect_block_end(); !r) return r;
    std::tie(s.body_begin, s.body_count) = store_body(body);
    out.push_back(add(std::move(s)));
    return {};
  }

  Done parse_raw(std::uint32_t offset, std::vector<std::uint32_t>& out) {
    if (auto r = expect_block_end(); !r) return r;
    std::size_t start = lex_.pos();
    // The first `{% endraw %}` (with optional whitespace control) closes the block.
    for (std::size_t i = src_.find("{%", start); i != std::string_view::npos;
         i = src_.find("{%", i + 2)) {
      std::size_t j = i + 2;
      bool strip_before = j < src_.size() && src_[j] == '-';
      if (j < src_.size() && (src_[j] == '-' || src_[j] == '+')) ++j;
      while (j < src_.size() && is_space(src_[j])) ++j;
      if (src_.substr(j, 6) != "endraw") continue;
      j += 6;
      while (j < src_.size() && is_space(src_[j])) ++j;
      bool strip_after = j < src_.size() && src_[j] == '-';
      if (j < src_.size() && (src_[j] == '-' || src_[j] == '+')) ++j;
      if (src_.substr(j, 2) != "%}") continue;
      std::string_view text = src_.substr(start, i - start);
      if (strip_next_) text = lstrip(text);
      if (strip_before) text = rstrip(text);
      strip_next_ = strip_after;
      if (!text.empty()) {
        Stmt s{StmtKind::Data};
        s.offset = static_cast<std::uint32_t>(start);
        s.text = text;
        out.push_back(add(std::move(s)));
      }
      lex_.set_pos(j + 2);
      return {};
    }
    return fail_at(offset, "unexpected end of input, expected end of raw block");
  }

  // ---- assignment targets ----------------------------------------------------------
  Id parse_target(bool allow_attr = false) {
    auto one = [&]() -> Id {
      if (accept_op("(")) {
        auto inner = parse_target(false);
        if (!inner) return inner;
        std::vector<Arg> items{{{}, *inner}};
        while (accept_op(",")) {
          if (tok_.is_op(")")) break;
          auto more = parse_target(false);
          if (!more) return more;
          items.push_back({{}, *more});
        }
        if (auto r = expect_op(")"); !r) return std::unexpected(r.error());
        if (items.size() == 1) return *inner;
        Expr e{ExprKind::Tuple};
        e.offset = ast_.exprs[*inner].offset;
        set_args(e, items);
        return add(std::move(e));
      }
      if (tok_.kind != Tok::Name) return unexpected("identifier");
      Expr e{ExprKind::Name};
      e.offset = tok_.offset;
      e.name = tok_.text;
      advance();
      if (allow_attr && tok_.is_op(".")) {
        advance();
        if (tok_.kind != Tok::Name) return unexpected("identifier");
        Expr attr{ExprKind::Attr};
        attr.offset = e.offset;
        attr.a = add(std::move(e));
        attr.name = tok_.text;
        advance();
        return add(std::move(attr));
      }
      return add(std::move(e));
    };
    auto first = one();
    if (!first || !tok_.is_op(",")) return first;
    std::vector<Arg> items{{{}, *first}};
    while (accept_op(",")) {
      if (tok_.kind != Tok::Name && !tok_.is_op("(")) break;
      auto more = one();
      if (!more) return more;
      items.push_back({{}, *more});
    }
    Expr e{ExprKind::Tuple};
    e.offset = ast_.exprs[*first].offset;
    set_args(e, items);
    return add(std::move(e));
  }

  // `a, b` without brackets builds a tuple where a statement allows it.
  template <class F>
  Id parse_tuple_or(F item) {
    auto first = item();
    if (!first || !tok_.is_op(",")) return first;
    std::vector<Arg> items{{{}, *first}};
    while (accept_op(",")) {
      if (tok_.kind == Tok::BlockEnd || tok_.is_name("if") || tok_.is_name("recursive")) break;
      auto more = item();
      if (!more) return more;
      items.push_back({{}, *more});
    }
    Expr e{ExprKind::Tuple};
    e.offset = ast_.exprs[*first].offset;
    set_args(e, items);
    return add(std::move(e));
  }

  // ---- expressions -----------------------------------------------------------------
  Id parse_expression() {
    if (auto r = enter(tok_.offset); !r) return std::unexpected(r.error());
    auto e = parse_ifexpr();
    leave();
    return e;
  }

  Id parse_ifexpr() {
    auto value = parse_or();
    if (!value) return value;
    while (tok_.is_name("if")) {
      auto offset = tok_.offset;
      advance();
      auto cond = parse_or();
      if (!cond) return cond;
      std::uint32_t other = kNoNode;
      if (accept_name("else")) {
        auto o = parse_ifexpr();
        if (!o) return o;
        other = *o;
      }
      Expr e{ExprKind::Cond};
      e.offset = offset;
      e.a = *value;
      e.b = *cond;
      e.c = other;
      value = add(std::move(e));
    }
    return value;
  }

  std::uint32_t binary(Op op, std::uint32_t a, std::uint32_t b, std::uint32_t offset) {
    Expr e{ExprKind::Binary};
    e.op = op;
    e.a = a;
    e.b = b;
    e.offset = offset;
    return add(std::move(e));
  }

  // One level of left-associative binary operators: `match` gives the operator at the
  // current token (Op::None when there is none), `operand` parses the level below.
  template <class Operand, class Match>
  Id parse_left_assoc(Operand operand, Match match) {
    auto a = operand();
    for (Op op; a && (op = match()) != Op::None;) {
      auto offset = tok_.offset;
      advance();
      auto b = operand();
      if (!b) return b;
      a = binary(op, *a, *b, offset);
    }
    return a;
  }

  Id parse_or() {
    return parse_left_assoc([this] { return parse_and(); },
                            [this] { return tok_.is_name("or") ? Op::Or : Op::None; });
  }

  Id parse_and() {
    return parse_left_assoc([this] { return parse_not(); },
                            [this] { return tok_.is_name("and") ? Op::And : Op::None; });
  }

  Id parse_not() {
    if (tok_.is_name("not")) {
      auto offset = tok_.offset;
      advance();
      if (auto r = enter(offset); !r) return std::unexpected(r.error());
      auto inner = parse_not();
      leave();
      if (!inner) return inner;
      Expr e{ExprKind::Unary};
      e.op = Op::Not;
      e.a = *inner;
      e.offset = offset;
      return add(std::move(e));
    }
    return parse_compare();
  }

  Id parse_compare() {
    auto a = parse_math1();
    if (!a) return a;
    // A chain `a < b < c` means `a < b and b < c`.
    std::uint32_t chain = kNoNode;
    std::uint32_t left = *a;
    while (true) {
      auto offset = tok_.offset;
      Op op = Op::None;
      if (tok_.kind == Tok::Op) {
        if (tok_.text == "==") op = Op::Eq;
        else if (tok_.text == "!=") op = Op::Ne;
        else if (tok_.text == "<") op = Op::Lt;
        else if (tok_.text == "<=") op = Op::Le;
        else if (tok_.text == ">") op = Op::Gt;
        else if (tok_.text == ">=") op = Op::Ge;
        if (op != Op::None) advance();
      } else if (tok_.is_name("in")) {
        op = Op::In;
        advance();
      } else if (tok_.is_name("not")) {
        // Only `not in` continues a comparison.
        Lexer probe = lex_;
        Token after = probe.next();
        if (after.is_name("in")) {
          advance();
          advance();
          op = Op::NotIn;
        }
      }
      if (op == Op::None) break;
      auto b = parse_math1();
      if (!b) return b;
      std::uint32_t cmp = binary(op, left, *b, offset);
      chain = chain == kNoNode ? cmp : binary(Op::And, chain, cmp, offset);
      left = *b;
    }
    return chain == kNoNode ? *a : chain;
  }

  Id parse_math1() {
    return parse_left_assoc([this] { return parse_concat(); }, [this] {
      return tok_.is_op("+") ? Op::Add : tok_.is_op("-") ? Op::Sub : Op::None;
    });
  }

  Id parse_concat() {
    return parse_left_assoc([this] { return parse_math2(); },
                            [this] { return tok_.is_op("~") ? Op::Concat : Op::None; });
  }

  Id parse_math2() {
    return parse_left_assoc([this] { return parse_pow(); }, [this] {
      return tok_.is_op("*")    ? Op::Mul
             : tok_.is_op("/")  ? Op::Div
             : tok_.is_op("//") ? Op::FloorDiv
             : tok_.is_op("%")  ? Op::Mod
                                : Op::None;
    });
  }

  Id parse_pow() {
    return parse_left_assoc([this] { return parse_unary(true); },
                            [this] { return tok_.is_op("**") ? Op::Pow : Op::None; });
  }

  Id parse_unary(bool with_filter) {
    auto offset = tok_.offset;
    if (auto r = enter(offset); !r) return std::unexpected(r.error());
    Id node;
    if (tok_.is_op("-") || tok_.is_op("+")) {
      Op op = tok_.text == "-" ? Op::Neg : Op::Pos;
      advance();
      auto inner = parse_unary(false);
      if (!inner) {
        leave();
        return inner;
      }
      Expr e{ExprKind::Unary};
      e.op = op;
      e.a = *inner;
      e.offset = offset;
      node = add(std::move(e));
    } else {
      node = parse_primary();
    }
    if (node) node = parse_postfix(*node);
    if (node && with_filter) node = parse_filter_chain(*node);
    leave();
    return node;
  }

  Id parse_primary() {
    auto offset = tok_.offset;
    switch (tok_.kind) {
      case Tok::Name: {
        std::string_view n = tok_.text;
        advance();
        Expr e{ExprKind::Const};
        e.offset = offset;
        if (n == "true" || n == "True") e.a = constant(Value::from_bool(true));
        else if (n == "false" || n == "False") e.a = constant(Value::from_bool(false));
        else if (n == "none" || n == "None") e.a = constant(Value::none());
        else {
          e.kind = ExprKind::Name;
          e.name = n;
        }
        return add(std::move(e));
      }
      case Tok::String: {
        std::string text;
        while (tok_.kind == Tok::String) {
          if (auto r = unescape(tok_, text); !r) return std::unexpected(r.error());
          advance();
        }
        Expr e{ExprKind::Const};
        e.offset = offset;
        e.a = constant(Value::from_string(std::move(text)));
        return add(std::move(e));
      }
      case Tok::Int: return parse_int();
      case Tok::Float: {
        std::string clean;
        for (char c : tok_.text) if (c != '_') clean.push_back(c);
        double d = 0;
        auto r = std::from_chars(clean.data(), clean.data() + clean.size(), d);
        if (r.ec != std::errc{} && r.ec != std::errc::result_out_of_range) {
          return fail_at(offset, "invalid float");
        }
        advance();
        Expr e{ExprKind::Const};
        e.offset = offset;
        e.a = constant(Value::from_float(d));
        return add(std::move(e));
      }
      case Tok::Op:
        if (tok_.text == "(") return parse_paren();
        if (tok_.text == "[") return parse_list();
        if (tok_.text == "{") return parse_map();
        break;
      default: break;
    }
    return unexpected("");
  }

  Id parse_int() {
    auto offset = tok_.offset;
    std::uint64_t value = 0;
    for (char c : tok_.text) {
      if (c == '_') continue;
      unsigned digit = static_cast<unsigned>(c - '0');
      if (value > (UINT64_MAX - digit) / 10) return fail_at(offset, "invalid integer (too large)");
      value = value * 10 + digit;
    }
    advance();
    Expr e{ExprKind::Const};
    e.offset = offset;
    e.a = constant(Value::from_uint(value));
    return add(std::move(e));
  }

  std::expected<void, Error> unescape(const Token& t, std::string& out) {
    std::string_view s = t.text.substr(1, t.text.size() - 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
      char c = s[i];
      if (c != '\\' || i + 1 >= s.size()) {
        out.push_back(c);
        continue;
      }
      char n = s[++i];
      switch (n) {
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case '\\': case '\'': case '"': case '/': out.push_back(n); break;
        case 'x': {
          auto byte = hex(s, i + 1, 2);
          if (!byte) return fail_at(t.offset, "bad string escape");
          i += 2;
          detail::append_utf8(out, *byte);
          break;
        }
        case 'u': {
          auto cp = hex(s, i + 1, 4);
          if (!cp) return fail_at(t.offset, "bad string escape");
          i += 4;
          std::uint32_t code = *cp;
          if (code >= 0xD800 && code < 0xDC00 && s.substr(i + 1, 2) == "\\u") {
            auto low = hex(s, i + 3, 4);
            if (low && *low >= 0xDC00 && *low < 0xE000) {
              code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
              i += 6;
            }
          }
          if (code >= 0xD800 && code < 0xE000) return fail_at(t.offset, "bad string escape");
          detail::append_utf8(out, code);
          break;
        }
        default:
          // Unknown escapes stay as written, backslash included.
          out.push_back('\\');
          out.push_back(n);
      }
    }
    return {};
  }

  static std::optional<std::uint32_t> hex(std::string_view s, std::size_t at, std::size_t n) {
    if (at + n > s.size()) return std::nullopt;
    std::uint32_t v = 0;
    for (std::size_t k = at; k < at + n; ++k) {
      char c = s[k];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') v |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= static_cast<std::uint32_t>(c - 'A' + 10);
      else return std::nullopt;
    }
    return v;
  }


  Id parse_paren() {
    auto offset = tok_.offset;
    advance();
    std::vector<Arg> items;
    bool tuple = false;
    while (!tok_.is_op(")")) {
      auto e = parse_expression();
      if (!e) return e;
      items.push_back({{}, *e});
      if (!accept_op(",")) break;
      tuple = true;
    }
    if (auto r = expect_op(")"); !r) return std::unexpected(r.error());
    if (items.size() == 1 && !tuple) return items[0].expr;
    Expr e{ExprKind::Tuple};
    e.offset = offset;
    set_args(e, items);
    return add(std::move(e));
  }

  Id parse_list() {
    auto offset = tok_.offset;
    advance();
    std::vector<Arg> items;
    while (!tok_.is_op("]")) {
      auto e = parse_expression();
      if (!e) return e;
      items.push_back({{}, *e});
      if (!accept_op(",")) break;
    }
    if (auto r = expect_op("]"); !r) return std::unexpected(r.error());
    Expr e{ExprKind::List};
    e.offset = offset;
    set_args(e, items);
    return add(std::move(e));
  }

  Id parse_map() {
    auto offset = tok_.offset;
    advance();
    std::vector<Arg> items;
    while (!tok_.is_op("}")) {
      auto k = parse_expression();
      if (!k) return k;
      if (auto r = expect_op(":"); !r) return std::unexpected(r.error());
      auto v = parse_expression();
      if (!v) return v;
      items.push_back({{}, *k});
      items.push_back({{}, *v});
      if (!accept_op(",")) break;
    }
    if (auto r = expect_op("}"); !r) return std::unexpected(r.error());
    Expr e{ExprKind::Map};
    e.offset = offset;
    set_args(e, items);
    return add(std::move(e));
  }

  Id parse_postfix(std::uint32_t node) {
    while (true) {
      auto offset = tok_.offset;
      if (accept_op(".")) {
        Expr e{ExprKind::Attr};
        e.offset = offset;
        e.a = node;
        if (tok_.kind == Tok::Name) {
          e.name = tok_.text;
          advance();
        } else if (tok_.kind == Tok::Int) {
          // `items.0` is item access with an integer.
          auto index = parse_int();
          if (!index) return index;
          e.kind = ExprKind::Item;
          e.b = *index;
        } else {
          return unexpected("identifier");
        }
        node = add(std::move(e));
      } else if (tok_.is_op("[")) {
        auto r = parse_subscript(node);
        if (!r) return r;
        node = *r;
      } else if (tok_.is_op("(")) {
        Expr e{ExprKind::Call};
        e.offset = offset;
        e.a = node;
        if (auto r = parse_call_args(e); !r) return std::unexpected(r.error());
        node = add(std::move(e));
      } else {
        return node;
      }
    }
  }

  Id parse_subscript(std::uint32_t node) {
    auto offset = tok_.offset;
    advance();
    std::uint32_t parts[3] = {kNoNode, kNoNode, kNoNode};
    int colons = 0;
    while (true) {
      if (tok_.is_op(":")) {
        if (++colons > 2) return unexpected("`]`");
        advance();
        continue;
      }
      if (tok_.is_op("]")) break;
      if (parts[colons] != kNoNode) return unexpected("`]`");
      auto e = parse_expression();
      if (!e) return e;
      parts[colons] = *e;
    }
    advance();
    Expr e{colons == 0 ? ExprKind::Item : ExprKind::Slice};
    e.offset = offset;
    e.a = node;
    if (colons == 0 && parts[0] == kNoNode) return fail_at(offset, "unexpected `]`");
    e.b = parts[0];
    e.c = parts[1];
    e.d = parts[2];
    return add(std::move(e));
  }

  Done parse_call_args(Expr& e) {
    advance();  // (
    std::vector<Arg> args;
    while (!tok_.is_op(")")) {
      Arg arg{};
      if (tok_.kind == Tok::Name) {
        Lexer probe = lex_;
        Token after = probe.next();
        if (after.is_op("=")) {
          arg.name = tok_.text;
          advance();
          advance();
        }
      }
      if (arg.name.empty()) {
        for (const Arg& a : args) {
          if (!a.name.empty()) return fail_at(tok_.offset, "non-keyword arg after keyword arg");
        }
      }
      auto value = parse_expression();
      if (!value) return std::unexpected(value.error());
      arg.expr = *value;
      args.push_back(arg);
      if (!accept_op(",")) break;
    }
    if (auto r = expect_op(")"); !r) return r;
    set_args(e, args);
    return {};
  }

  // `|name(args)` and `is [not] name args` after an operand.
  Id parse_filter_chain(std::uint32_t node) {
    while (true) {
      if (tok_.is_op("|")) {
        auto r = parse_filters(node, true);
        if (!r) return r;
        node = *r;
      } else if (tok_.is_name("is")) {
        auto offset = tok_.offset;
        advance();
        Expr e{ExprKind::Test};
        e.offset = offset;
        e.a = node;
        e.negated = accept_name("not");
        if (tok_.kind != Tok::Name) return unexpected("identifier");
        e.name = tok_.text;
        advance();
        if (tok_.is_op("(")) {
          if (auto r = parse_call_args(e); !r) return std::unexpected(r.error());
        } else if (starts_test_argument()) {
          auto arg = parse_unary(false);
          if (!arg) return arg;
          std::vector<Arg> args{{{}, *arg}};
          set_args(e, args);
        }
        node = add(std::move(e));
      } else {
        return node;
      }
    }
  }

  bool starts_test_argument() const {
    switch (tok_.kind) {
      case Tok::String:
      case Tok::Int:
      case Tok::Float: return true;
      case Tok::Name:
        for (std::string_view w : {"else", "or", "and", "if", "is", "in", "not"}) {
          if (tok_.text == w) return false;
        }
        return true;
      case Tok::Op: return tok_.text == "[" || tok_.text == "{" || tok_.text == "-";
      default: return false;
    }
  }

  // A run of `|name(args)`; with `one` false the first `|` is not required (filter block).
  Id parse_filters(std::uint32_t node, bool one = false) {
    bool first = true;
    while (tok_.is_op("|") || (first && !one && node == kNoNode && tok_.kind == Tok::Name)) {
      // Errors of a filter point at its `|`, where the application starts.
      auto offset = tok_.offset;
      if (tok_.is_op("|")) advance();
      first = false;
      if (tok_.kind != Tok::Name) return unexpected("identifier");
      Expr e{ExprKind::Filter};
      e.offset = offset;
      e.a = node;
      e.name = tok_.text;
      advance();
      if (tok_.is_op("(")) {
        if (auto r = parse_call_args(e); !r) return std::unexpected(r.error());
      }
      node = add(std::move(e));
      if (one) return node;
    }
    return node;
  }

  std::string_view src_;
  Lexer lex_;
  Token tok_;
  Ast ast_;
  std::size_t depth_ = 0;
  std::optional<std::uint32_t> too_deep_;
  bool strip_next_ = false;
  std::string_view stop_word_;
  std::uint32_t stop_offset_ = 0;
};

}  // namespace

std::uint32_t line_of(std::string_view source, std::uint32_t offset) {
  offset = std::min<std::uint32_t>(offset, static_cast<std::uint32_t>(source.size()));
  return 1 + static_cast<std::uint32_t>(std::count(source.begin(), source.begin() + offset, '\n'));
}

std::expected<Ast, Error> parse_template(std::string_view source) {
  return Parser(source).run();
}

}  // namespace jinja

// The compiled form of a template: expressions and statements in flat vectors, linked by
// index; names and text are views into the template's own copy of its source.
#pragma once

#include <jinja/jinja.hpp>

#include <cstdint>
#include <string_view>
#include <span>
#include <vector>

namespace jinja {

inline constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;

enum class ExprKind : std::uint8_t {
  Const,        // Ast::constants[a]
  Name,         // name
  List,         // args: elements
  Tuple,        // args: elements
  Map,          // args: key, value, key, value, ...
  Attr,         // a.name
  Item,         // a[b]
  Slice,        // a[b:c:d], absent parts kNoNode
  Call,         // a(args)
  Filter,       // a|name(args); a is kNoNode for a filter block's own content
  Test,         // a is [not] name(args)
  Unary,        // op a
  Binary,       // a op b
  Cond,         // a if b else c (c may be kNoNode)
};

enum class Op : std::uint8_t {
  None,
  Neg, Pos, Not,                              // unary
  Add, Sub, Mul, Div, FloorDiv, Mod, Pow,     // arithmetic
  Concat,                                     // ~
  Eq, Ne, Lt, Le, Gt, Ge, In, NotIn,          // comparisons
  And, Or,                                    // short-circuit
};

struct Arg {
  std::string_view name;  // empty for a positional argument
  std::uint32_t expr;
};

struct Expr {
  ExprKind kind;
  Op op = Op::None;
  bool negated = false;      // `is not`
  std::uint16_t height = 1;  // longest path to a leaf, bounded while parsing
  std::uint32_t offset = 0;  // source offset, for the line of an error
  std::uint32_t a = kNoNode, b = kNoNode, c = kNoNode, d = kNoNode;
  std::uint32_t args_begin = 0, args_count = 0;  // into Ast::args
  std::string_view name{};
};

enum class StmtKind : std::uint8_t {
  Data,        // text
  Output,      // {{ expr }}
  If,          // expr, body, else_body
  For,         // target, expr (iterable), cond, body, else_body, recursive
  Set,         // target = expr
  SetBlock,    // target, body (rendered, then filtered by `expr` when present)
  With,        // args: name = target expr, expr = value; body
  FilterBlock, // expr: filter chain over the rendered body
  Autoescape,  // expr, body
  Do,          // expr
};

struct Stmt {
  StmtKind kind;
  bool recursive = false;
  std::uint32_t offset = 0;
  std::string_view text{};
  std::uint32_t expr = kNoNode, target = kNoNode, cond = kNoNode;
  std::uint32_t body_begin = 0, body_count = 0;  // into Ast::bodies
  std::uint32_t else_begin = 0, else_count = 0;
  std::uint32_t args_begin = 0, args_count = 0;  // With: pairs (target, value) as two Args
};

struct Ast {
  std::vector<Expr> exprs;
  std::vector<Stmt> stmts;
  std::vector<Arg> args;
  std::vector<Value> constants;
  std::vector<std::uint32_t> bodies;  // statement ids of every body, each body contiguous
  std::uint32_t root_begin = 0, root_count = 0;

  std::span<const std::uint32_t> body(std::uint32_t begin, std::uint32_t count) const {
    return {bodies.data() + begin, count};
  }
  std::span<const Arg> arg_list(const Expr& e) const {
    return {args.data() + e.args_begin, e.args_count};
  }
};

}  // namespace jinja

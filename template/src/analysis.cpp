#include "analysis.hpp"

#include <algorithm>
#include <string_view>

namespace jinja {

namespace {

class Analyzer {
 public:
  explicit Analyzer(const Ast& ast) : ast_(ast) { scopes_.push_back({"self"}); }

  std::vector<std::string> run() {
    body(ast_.root_begin, ast_.root_count);
    std::sort(found_.begin(), found_.end());
    found_.erase(std::unique(found_.begin(), found_.end()), found_.end());
    return {found_.begin(), found_.end()};
  }

 private:
  bool bound(std::string_view name) const {
    for (const auto& scope : scopes_) {
      if (std::find(scope.begin(), scope.end(), name) != scope.end()) return true;
    }
    return false;
  }

  void bind(std::string_view name) { scopes_.back().push_back(name); }

  void bind_target(std::uint32_t id) {
    const Expr& e = ast_.exprs[id];
    if (e.kind == ExprKind::Name) {
      bind(e.name);
    } else if (e.kind == ExprKind::Tuple || e.kind == ExprKind::List) {
      for (const Arg& a : ast_.arg_list(e)) bind_target(a.expr);
    }
  }

  void expr(std::uint32_t id) {
    if (id == kNoNode) return;
    const Expr& e = ast_.exprs[id];
    if (e.kind == ExprKind::Name) {
      if (!bound(e.name)) found_.emplace_back(e.name);
      return;
    }
    if (e.kind == ExprKind::Const) return;
    expr(e.a);
    expr(e.b);
    expr(e.c);
    expr(e.d);
    for (const Arg& a : ast_.arg_list(e)) expr(a.expr);
  }

  void scoped_body(std::uint32_t begin, std::uint32_t count) {
    scopes_.emplace_back();
    body(begin, count);
    scopes_.pop_back();
  }

  void body(std::uint32_t begin, std::uint32_t count) {
    for (std::uint32_t id : ast_.body(begin, count)) stmt(ast_.stmts[id]);
  }

  void stmt(const Stmt& s) {
    switch (s.kind) {
      case StmtKind::Data: return;
      case StmtKind::Output:
      case StmtKind::Do: expr(s.expr); return;
      case StmtKind::If:
        expr(s.expr);
        scoped_body(s.body_begin, s.body_count);
        scoped_body(s.else_begin, s.else_count);
        return;
      case StmtKind::For:
        scopes_.emplace_back();
        bind("loop");
        expr(s.expr);
        bind_target(s.target);
        expr(s.cond);
        body(s.body_begin, s.body_count);
        scopes_.pop_back();
        scoped_body(s.else_begin, s.else_count);
        return;
      case StmtKind::With: {
        scopes_.emplace_back();
        std::span<const Arg> pairs(ast_.args.data() + s.args_begin, s.args_count);
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
          bind_target(pairs[i].expr);
          expr(pairs[i + 1].expr);
        }
        body(s.body_begin, s.body_count);
        scopes_.pop_back();
        return;
      }
      case StmtKind::Set:
        bind_target(s.target);
        expr(s.expr);
        return;
      case StmtKind::SetBlock:
        bind_target(s.target);
        expr(s.expr);
        scoped_body(s.body_begin, s.body_count);
        return;
      case StmtKind::Autoescape:
        // The flag is read like any expression: a render needs it bound.
        expr(s.expr);
        scoped_body(s.body_begin, s.body_count);
        return;
      case StmtKind::FilterBlock:
        scopes_.emplace_back();
        expr(s.expr);
        body(s.body_begin, s.body_count);
        scopes_.pop_back();
        return;
    }
  }

  const Ast& ast_;
  std::vector<std::vector<std::string_view>> scopes_;
  std::vector<std::string_view> found_;
};

}  // namespace

std::vector<std::string> analyze_undeclared(const Ast& ast) { return Analyzer(ast).run(); }

}  // namespace jinja

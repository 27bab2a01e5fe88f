// The state of one render: scopes, output, limits. Builtins receive it to apply other
// builtins, iterate values and bound what they build.
#pragma once

#include <jinja/jinja.hpp>

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ast.hpp"

namespace jinja {

class Args;
class Registry;
class LoopObject;

struct TemplateData {
  std::string name;
  std::string source;  // the compiled text (trailing line ending removed); views point here
  Ast ast;
};

class State {
 public:
  State(const Environment::Impl& env, const TemplateData& tpl, Value context);

  // --- for builtins ---------------------------------------------------------------------
  std::expected<void, Error> check_string_size(std::size_t bytes) const;
  std::expected<void, Error> check_seq_size(std::size_t elements) const;
  // Adds `units` to the render's work and fails once the work passes its bound.
  std::expected<void, Error> charge(std::uint64_t units) const;
  // Charges the comparisons of sorting `n` elements.
  std::expected<void, Error> charge_sort(std::size_t n) const;
  // Fails with the strict-undefined error (no detail) when `v` is undefined.
  std::expected<void, Error> require_defined(const Value& v) const;
  // Truth of a value; undefined fails.
  std::expected<bool, Error> truthy(const Value& v) const;
  // The items of a sequence, the keys of a map, the characters of a string.
  std::expected<std::vector<Value>, Error> iterate(const Value& v) const;
  // Attribute / item lookup as `v.name` and `v[key]` do; undefined when absent.
  Value get_attr(const Value& v, std::string_view name) const;
  Value get_item(const Value& v, const Value& key) const;
  std::expected<Value, Error> apply_filter(std::string_view name, const Value& v, Args& args);
  std::expected<bool, Error> apply_test(std::string_view name, const Value& v, Args& args);
  std::expected<Value, Error> call_value(const Value& callee, Args& args);
  bool autoescape() const { return autoescape_; }
  // Every bound name and its value, innermost binding first shadowing the rest, sorted.
  Value visible_variables() const;
  const Registry& registry() const;
  // Whether `name` is a filter of this render: a builtin or one the environment added.
  bool has_filter(std::string_view name) const;

  // --- evaluator ------------------------------------------------------------------------
  std::expected<std::string, Error> render();
  // Runs a recursive loop's body over `iterable` one level deeper; returns its output.
  std::expected<Value, Error> recurse_loop(const Stmt& stmt, const Value& iterable,
                                           std::uint32_t depth);

 private:
  using Result = std::expected<Value, Error>;
  using Done = std::expected<void, Error>;

  Done render_body(std::span<const std::uint32_t> body, std::string& out);
  Done render_stmt(const Stmt& s, std::string& out);
  Done render_for(const Stmt& s, const Value& iterable, std::uint32_t depth, std::string& out);
  Done write(std::string& out, const Value& v);
  Done assign(const Expr& target, const Value& v);
  Done bind_target(const Expr& target, const Value& v);
  Result eval(std::uint32_t id);
  Result eval_name(const Expr& e);
  Result eval_call(const Expr& e);
  Result eval_filter(const Expr& e, const Value* block_content);
  Result eval_test(const Expr& e);
  Result eval_binary(const Expr& e);
  Result eval_collection(const Expr& e);
  std::expected<void, Error> eval_args(const Expr& e, std::vector<Value>& pos,
                                       std::vector<std::pair<std::string_view, Value>>& kw);
  Value lookup(std::string_view name) const;
  void bind(std::string_view name, Value v);
  void push_frame() { frames_.push_back(vars_.size()); }
  void pop_frame() {
    vars_.resize(frames_.back());
    frames_.pop_back();
  }
  Error located(Error e, std::uint32_t offset) const;
  Done enter();
  void leave() { --depth_; }

  const Environment::Impl& env_;
  const TemplateData& tpl_;
  const Ast& ast_;
  Value context_;
  std::vector<std::pair<std::string_view, Value>> vars_;
  std::vector<std::size_t> frames_;
  bool autoescape_ = false;
  std::size_t depth_ = 0;
  std::uint64_t iterations_ = 0;
  std::size_t output_budget_used_ = 0;
  mutable std::uint64_t work_ = 0;
};

}  // namespace jinja

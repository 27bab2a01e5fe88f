// The engine's own objects: the loop object, namespaces and global functions as values.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "ast.hpp"
#include "builtins/registry.hpp"
#include "value.hpp"

namespace jinja {

// The `loop` of a for loop. One object serves every iteration of one loop run; the evaluator
// advances `index0` before each iteration.
class LoopObject final : public Object {
 public:
  LoopObject(const Stmt& stmt, std::vector<Value> items, std::uint32_t depth)
      : stmt_(stmt), items_(std::move(items)), depth_(depth) {}

  const std::vector<Value>& items() const { return items_; }

  std::string_view type_name() const override { return "loop"; }
  void print(std::string& out) const override;
  Value get_attr(std::string_view name) const override;
  std::expected<Value, Error> call(State& state, Args& args) const override;
  std::expected<Value, Error> call_method(State& state, std::string_view name,
                                          Args& args) const override;

  mutable std::size_t index0 = 0;

 private:
  const Stmt& stmt_;
  // Owned: a template may keep the loop object (in a namespace) beyond the loop's run.
  std::vector<Value> items_;
  std::uint32_t depth_;              // 1 for the outermost run
  mutable Value last_changed_;
  mutable bool changed_seen_ = false;
};

// `namespace()`: a map whose attributes templates may assign.
class NamespaceObject final : public Object {
 public:
  explicit NamespaceObject(Value::Entries entries) : entries_(std::move(entries)) {}
  std::string_view type_name() const override { return "namespace"; }
  void print(std::string& out) const override;
  Value get_attr(std::string_view name) const override;
  std::expected<void, Error> set_attr(std::string_view name, Value value) const override;
  const Value::Entries* entries() const override { return &entries_; }

 private:
  mutable Value::Entries entries_;  // sorted by key
};

// A global function used as a value (`{{ range }}`, `{% set r = range %}`).
class FunctionObject final : public Object {
 public:
  FunctionObject(std::string_view name, BuiltinGlobal fn) : name_(name), fn_(fn) {}
  std::string_view type_name() const override { return "function"; }
  void print(std::string& out) const override;
  std::expected<Value, Error> call(State& state, Args& args) const override;

 private:
  std::string_view name_;
  BuiltinGlobal fn_;
};

// Escapes text for HTML the way `escape` and autoescape blocks do.
void append_html_escaped(std::string& out, std::string_view text);

}  // namespace jinja

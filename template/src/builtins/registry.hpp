// How a filter, test, global function or method is written and registered.
//
// Adding a builtin:
//   1. Write a function of the matching signature, e.g. for a filter
//        std::expected<Value, Error> upper(State& state, const Value& self, Args& args) {
//          if (auto done = args.done(); !done) return std::unexpected(done.error());
//          ...
//        }
//      Take arguments with args.get(index, "name") (undefined when absent),
//      args.require(index, "name") (missing -> "missing argument"), args.rest(from) for
//      variadic positionals, args.keywords() for free keywords; then args.done(), which fails
//      with "too many arguments" when an argument was given but never taken.
//   2. Fail with fail(ErrorKind::InvalidOperation, "detail") (error_util.hpp); the evaluator
//      adds the template name and line. Details never quote a bound value.
//   3. Bound any string or sequence you build: state.check_string_size(n) /
//      state.check_seq_size(n) before building it.
//   4. Register it in the group's register_* function below (the group's file is
//      builtins/filters_*.cpp, tests_*.cpp, methods*.cpp). A later registration of the same
//      name replaces an earlier one; the core set is registered first.
// Undefined operands: a filter or test receives undefined values unchanged; whatever
// prints, iterates or tests the truth of one must fail with ErrorKind::UndefinedError and no
// detail (state.require_defined(v) does exactly that).
#pragma once

#include <jinja/jinja.hpp>

#include <cstdint>
#include <expected>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "error_util.hpp"
#include "state.hpp"
#include "value.hpp"

namespace jinja {

using Kwarg = std::pair<std::string_view, Value>;

// The arguments of one call: positionals, then keywords, with bookkeeping of what was taken.
class Args {
 public:
  Args(std::span<const Value> positional, std::span<const Kwarg> keywords)
      : positional_(positional), keywords_(keywords) {}

  // The positional at `index`, else the keyword `name` (empty name: positional only); undefined
  // when neither was given.
  Value get(std::size_t index, std::string_view name = {});
  std::expected<Value, Error> require(std::size_t index, std::string_view name = {});
  // A keyword-only argument; undefined when absent.
  Value keyword(std::string_view name);
  // The positionals from `from` on, all taken.
  std::span<const Value> rest(std::size_t from);
  // Every keyword, all taken.
  std::span<const Kwarg> keywords();
  std::size_t positional_count() const { return positional_.size(); }
  // Fails with "too many arguments" when a positional or keyword was never taken.
  std::expected<void, Error> done() const;

 private:
  std::span<const Value> positional_;
  std::span<const Kwarg> keywords_;
  std::size_t positional_taken_ = 0;
  std::uint64_t keywords_taken_ = 0;  // bit i: keyword i taken (keywords beyond 64: all taken)
  bool all_keywords_taken_ = false;
};

using BuiltinFilter = std::expected<Value, Error> (*)(State& state, const Value& self, Args& args);
using BuiltinTest = std::expected<bool, Error> (*)(State& state, const Value& self, Args& args);
using BuiltinGlobal = std::expected<Value, Error> (*)(State& state, Args& args);
using BuiltinMethod = BuiltinFilter;  // `self` is the receiver

// Which values a method applies to.
enum class MethodReceiver : std::uint8_t { String, Map, Seq };

class Registry {
 public:
  void add_filter(std::string_view name, BuiltinFilter fn);
  void add_test(std::string_view name, BuiltinTest fn);
  void add_global(std::string_view name, BuiltinGlobal fn);
  void add_method(MethodReceiver receiver, std::string_view name, BuiltinMethod fn);

  BuiltinFilter filter(std::string_view name) const;  // null when unknown
  BuiltinTest test(std::string_view name) const;
  BuiltinGlobal global(std::string_view name) const;
  BuiltinMethod method(MethodReceiver receiver, std::string_view name) const;
  std::vector<std::string> global_names() const;

  // The standard set, built once and shared read-only by every environment.
  static const Registry& standard();

 private:
  template <class Fn>
  using Table = std::vector<std::pair<std::string_view, Fn>>;  // sorted by name
  Table<BuiltinFilter> filters_;
  Table<BuiltinTest> tests_;
  Table<BuiltinGlobal> globals_;
  Table<BuiltinMethod> methods_[3];
};

// Registration groups, run in this order by Registry::standard().
void register_core(Registry& registry);     // builtins/core.cpp: safe, escape, string, defined
void register_globals(Registry& registry);  // builtins/globals.cpp: range, dict, debug, namespace
void register_filters(Registry& registry);  // builtins/filters_*.cpp
void register_tests(Registry& registry);    // builtins/tests_*.cpp
void register_methods(Registry& registry);  // builtins/methods*.cpp

}  // namespace jinja

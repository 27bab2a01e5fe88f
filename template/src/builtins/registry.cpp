#include "builtins/registry.hpp"

#include <algorithm>

namespace jinja {

namespace {

template <class Fn>
void put(std::vector<std::pair<std::string_view, Fn>>& table, std::string_view name, Fn fn) {
  auto it = std::lower_bound(table.begin(), table.end(), name,
                             [](const auto& e, std::string_view n) { return e.first < n; });
  if (it != table.end() && it->first == name) {
    it->second = fn;
  } else {
    table.insert(it, {name, fn});
  }
}

template <class Fn>
Fn find(const std::vector<std::pair<std::string_view, Fn>>& table, std::string_view name) {
  auto it = std::lower_bound(table.begin(), table.end(), name,
                             [](const auto& e, std::string_view n) { return e.first < n; });
  return it != table.end() && it->first == name ? it->second : nullptr;
}

}  // namespace

Value Args::get(std::size_t index, std::string_view name) {
  if (index < positional_.size()) {
    positional_taken_ = std::max(positional_taken_, index + 1);
    return positional_[index];
  }
  return name.empty() ? Value() : keyword(name);
}

std::expected<Value, Error> Args::require(std::size_t index, std::string_view name) {
  Value v = get(index, name);
  if (v.is_undefined() && index >= positional_.size()) {
    bool given = false;
    for (const auto& kw : keywords_) given = given || (!name.empty() && kw.first == name);
    if (!given) return fail(ErrorKind::MissingArgument);
  }
  return v;
}

Value Args::keyword(std::string_view name) {
  for (std::size_t i = 0; i < keywords_.size(); ++i) {
    if (keywords_[i].first == name) {
      if (i < 64) keywords_taken_ |= std::uint64_t{1} << i;
      return keywords_[i].second;
    }
  }
  return {};
}

std::span<const Value> Args::rest(std::size_t from) {
  positional_taken_ = std::max(positional_taken_, positional_.size());
  return from < positional_.size() ? positional_.subspan(from) : std::span<const Value>{};
}

std::span<const Kwarg> Args::keywords() {
  all_keywords_taken_ = true;
  return keywords_;
}

std::expected<void, Error> Args::done() const {
  if (positional_taken_ < positional_.size()) return fail(ErrorKind::TooManyArguments);
  if (!all_keywords_taken_) {
    for (std::size_t i = 0; i < keywords_.size() && i < 64; ++i) {
      if (!(keywords_taken_ & (std::uint64_t{1} << i))) {
        return fail(ErrorKind::TooManyArguments,
                    "unknown keyword argument " + std::string(keywords_[i].first));
      }
    }
  }
  return {};
}

void Registry::add_filter(std::string_view name, BuiltinFilter fn) { put(filters_, name, fn); }
void Registry::add_test(std::string_view name, BuiltinTest fn) { put(tests_, name, fn); }
void Registry::add_global(std::string_view name, BuiltinGlobal fn) { put(globals_, name, fn); }
void Registry::add_method(MethodReceiver receiver, std::string_view name, BuiltinMethod fn) {
  put(methods_[static_cast<int>(receiver)], name, fn);
}

BuiltinFilter Registry::filter(std::string_view name) const { return find(filters_, name); }
BuiltinTest Registry::test(std::string_view name) const { return find(tests_, name); }
BuiltinGlobal Registry::global(std::string_view name) const { return find(globals_, name); }
BuiltinMethod Registry::method(MethodReceiver receiver, std::string_view name) const {
  return find(methods_[static_cast<int>(receiver)], name);
}

std::vector<std::string> Registry::global_names() const {
  std::vector<std::string> names;
  for (const auto& [name, fn] : globals_) names.emplace_back(name);
  return names;
}

const Registry& Registry::standard() {
  // Built once, then only read: every environment shares it.
  static const Registry registry = [] {
    Registry r;
    register_core(r);
    register_globals(r);
    register_filters(r);
    register_tests(r);
    register_methods(r);
    return r;
  }();
  return registry;
}

}  // namespace jinja

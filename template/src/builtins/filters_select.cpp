// Filters that apply tests, filters or attribute lookups to each item: select, reject,
// selectattr, rejectattr, map, groupby, attr.
#include <algorithm>
#include <utility>

#include "builtins/support.hpp"
#include "objects.hpp"

namespace jinja::builtins {

namespace {

bool given(const Value& v) { return !v.is_undefined() && v.kind() != Value::Kind::None; }

// Keeps the items whose (attribute's) test result is `keep`.
Result filter_items(State& state, const Value& self, Args& args, bool by_attribute, bool keep) {
  Value attribute;
  std::size_t next = 0;
  if (by_attribute) {
    auto a = args.require(0, "attribute");
    if (!a) return a;
    attribute = *a;
    next = 1;
  }
  Value test = args.get(next);
  auto test_args = args.rest(next + 1);
  if (auto d = args.done(); !d) return pass(d.error());
  auto view = view_items(state, self);
  if (!view) return pass(view.error());
  const std::vector<Value>& items = view->get();
  if (given(test) && test.kind() != Value::Kind::String) {
    return fail(ErrorKind::InvalidOperation, "the test name must be a string");
  }
  std::vector<Value> out;
  for (const Value& item : items) {
    Value subject = by_attribute ? lookup_path(state, item, attribute) : item;
    bool result;
    if (given(test)) {
      Args sub(test_args, {});
      auto r = state.apply_test(test.as_string(), subject, sub);
      if (!r) return pass(r.error());
      result = *r;
    } else {
      result = is_truthy(subject);
    }
    if (result == keep) out.push_back(item);
  }
  return Value::from_seq(std::move(out));
}

Result select(State& state, const Value& self, Args& args) {
  return filter_items(state, self, args, false, true);
}
Result reject(State& state, const Value& self, Args& args) {
  return filter_items(state, self, args, false, false);
}
Result selectattr(State& state, const Value& self, Args& args) {
  return filter_items(state, self, args, true, true);
}
Result rejectattr(State& state, const Value& self, Args& args) {
  return filter_items(state, self, args, true, false);
}

Result map(State& state, const Value& self, Args& args) {
  Value attribute = args.keyword("attribute");
  std::vector<Value> out;
  if (!attribute.is_undefined()) {
    Value fallback = args.keyword("default");
    if (auto d = args.done(); !d) return pass(d.error());
    auto view = view_items(state, self);
    if (!view) return pass(view.error());
    const std::vector<Value>& items = view->get();
    for (const Value& item : items) {
      Value v = lookup_path(state, item, attribute);
      out.push_back(v.is_undefined() && !fallback.is_undefined() ? fallback : v);
    }
    return Value::from_seq(std::move(out));
  }
  Value name = args.get(0);
  auto filter_args = args.rest(1);
  auto keywords = args.keywords();
  if (name.is_undefined()) {
    return fail(ErrorKind::MissingArgument, "map needs a filter name or an attribute");
  }
  if (name.kind() != Value::Kind::String) {
    return fail(ErrorKind::InvalidOperation, "the filter name must be a string");
  }
  auto view = view_items(state, self);
  if (!view) return pass(view.error());
  const std::vector<Value>& items = view->get();
  out.reserve(items.size());
  for (const Value& item : items) {
    Args sub(filter_args, keywords);
    auto r = state.apply_filter(name.as_string(), item, sub);
    if (!r) return r;
    out.push_back(std::move(*r));
  }
  return Value::from_seq(std::move(out));
}

Result groupby(State& state, const Value& self, Args& args) {
  auto attribute = args.require(0, "attribute");
  if (!attribute) return attribute;
  Value fallback = args.get(1, "default");
  Value case_sensitive = args.get(2, "case_sensitive");
  if (auto d = args.done(); !d) return pass(d.error());
  auto items = items_of(state, self);
  if (!items) return pass(items.error());
  bool cs = flag_arg(case_sensitive, false);
  struct Keyed {
    Value order_key, grouper, item;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(items->size());
  for (Value& item : *items) {
    Value key = lookup_path(state, item, *attribute);
    if (key.is_undefined() && !fallback.is_undefined()) key = fallback;
    keyed.push_back({comparable(key, cs), key, std::move(item)});
  }
  if (auto w = state.charge_sort(keyed.size()); !w) return pass(w.error());
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    return compare_values(a.order_key, b.order_key) < 0;
  });
  // Each group is a (grouper, list) pair whose parts are also named `grouper` and `list`; the
  // grouper is the key of the group's first item.
  std::vector<Value> out;
  for (std::size_t i = 0; i < keyed.size();) {
    std::size_t j = i;
    std::vector<Value> members;
    while (j < keyed.size() && compare_values(keyed[i].order_key, keyed[j].order_key) == 0) {
      members.push_back(std::move(keyed[j].item));
      ++j;
    }
    out.push_back(ValueAccess::make_group(keyed[i].grouper, Value::from_seq(std::move(members))));
    i = j;
  }
  return Value::from_seq(std::move(out));
}

Result default_value(State& state, const Value& self, Args& args) {
  // A fallback that is itself undefined is an error, not an empty text.
  bool has_fallback = args.positional_count() > 0 || !args.keyword("default_value").is_undefined();
  Value fallback = args.get(0, "default_value");
  Value boolean = args.get(1, "boolean");
  if (auto d = args.done(); !d) return pass(d.error());
  bool use_fallback = self.is_undefined() || (flag_arg(boolean, false) && !is_truthy(self));
  if (!use_fallback) return self;
  if (!has_fallback) return Value::from_string({});
  if (auto r = state.require_defined(fallback); !r) return pass(r.error());
  return fallback;
}

Result attr(State& state, const Value& self, Args& args) {
  auto name = args.require(0, "name");
  if (!name) return name;
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  if (name->kind() != Value::Kind::String) return Value();
  return state.get_attr(self, name->as_string());
}

}  // namespace

void register_select_filters(Registry& registry) {
  registry.add_filter("select", select);
  registry.add_filter("reject", reject);
  registry.add_filter("selectattr", selectattr);
  registry.add_filter("rejectattr", rejectattr);
  registry.add_filter("map", map);
  registry.add_filter("groupby", groupby);
  registry.add_filter("attr", attr);
  registry.add_filter("default", default_value);
  registry.add_filter("d", default_value);
}

}  // namespace jinja::builtins

// Filters over sequences and maps: length, first/last, min/max, sort, dictsort, items, reverse,
// join, list, batch, slice, sum, unique, chain, zip. register_filters gathers every group.
#include <algorithm>
#include <set>
#include <utility>

#include "builtins/support.hpp"
#include "objects.hpp"
#include "ops.hpp"

namespace jinja::builtins {

namespace {

const Value::Entries* entries_of(const Value& v) {
  if (v.kind() == Value::Kind::Map) return &v.as_map();
  if (const Object* o = as_object(v)) return o->entries();
  return nullptr;
}

Result length(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  if (self.is_undefined()) return Value::from_int(0);
  if (self.kind() == Value::Kind::String) {
    return Value::from_int(static_cast<std::int64_t>(utf8_length(self.as_string())));
  }
  if (self.kind() == Value::Kind::Seq) {
    return Value::from_int(static_cast<std::int64_t>(self.as_seq().size()));
  }
  if (const Value::Entries* e = entries_of(self)) {
    return Value::from_int(static_cast<std::int64_t>(e->size()));
  }
  (void)state;
  return fail(ErrorKind::InvalidOperation,
              "cannot calculate length of value of type " + std::string(kind_name(self)));
}

template <bool First>
Result first_or_last(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  switch (self.kind()) {
    case Value::Kind::String: {
      auto chars = characters_of(self.as_string());
      if (chars.empty()) return Value();
      return Value::from_string(std::string(First ? chars.front() : chars.back()));
    }
    case Value::Kind::Seq: {
      const auto& items = self.as_seq();
      if (items.empty()) return Value();
      return First ? items.front() : items.back();
    }
    default:
      if (const Value::Entries* e = entries_of(self)) {
        if (e->empty()) return Value();
        return First ? e->front().first : e->back().first;
      }
      return fail(ErrorKind::InvalidOperation, std::string("cannot get ") +
                                                   (First ? "first" : "last") +
                                                   " item from value of type " +
                                                   std::string(kind_name(self)));
  }
}

// The comparison key of an item: the item itself or one or more comma-separated attribute
// paths, case-folded unless case-sensitive.
struct KeyedOrder {
  const State& state;
  std::vector<Value> paths;
  bool case_sensitive;

  Value key(const Value& item) const {
    if (paths.empty()) return comparable(item, case_sensitive);
    if (paths.size() == 1) return comparable(lookup_path(state, item, paths[0]), case_sensitive);
    std::vector<Value> parts;
    for (const Value& p : paths) parts.push_back(comparable(lookup_path(state, item, p), case_sensitive));
    return Value::from_seq(std::move(parts));
  }
};

KeyedOrder make_order(const State& state, const Value& attribute, bool case_sensitive) {
  KeyedOrder o{state, {}, case_sensitive};
  if (attribute.kind() == Value::Kind::String) {
    std::string_view rest = attribute.as_string();
    while (true) {
      std::size_t comma = rest.find(',');
      o.paths.push_back(Value::from_string(std::string(strip_text(rest.substr(0, comma), nullptr, true, true))));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  } else if (!attribute.is_undefined() && attribute.kind() != Value::Kind::None) {
    o.paths.push_back(attribute);
  }
  return o;
}

template <bool Min>
Result min_or_max(State& state, const Value& self, Args& args) {
  Value case_sensitive = args.get(0, "case_sensitive");
  Value attribute = args.get(1, "attribute");
  if (auto d = args.done(); !d) return pass(d.error());
  auto view = view_items(state, self);
  if (!view) return pass(view.error());
  const std::vector<Value>& items = view->get();
  if (items.empty()) return Value();
  KeyedOrder o = make_order(state, attribute, flag_arg(case_sensitive, false));
  std::size_t best = 0;
  Value best_key = o.key(items[0]);
  for (std::size_t i = 1; i < items.size(); ++i) {
    Value k = o.key(items[i]);
    auto c = compare_values(k, best_key);
    if (Min ? c < 0 : c > 0) {
      best = i;
      best_key = std::move(k);
    }
  }
  return items[best];
}

Result sort(State& state, const Value& self, Args& args) {
  Value reverse = args.get(0, "reverse");
  Value case_sensitive = args.get(1, "case_sensitive");
  Value attribute = args.get(2, "attribute");
  if (auto d = args.done(); !d) return pass(d.error());
  auto items = items_of(state, self);
  if (!items) return pass(items.error());
  KeyedOrder o = make_order(state, attribute, flag_arg(case_sensitive, false));
  std::vector<std::pair<Value, Value>> keyed;
  keyed.reserve(items->size());
  for (Value& item : *items) {
    Value k = o.key(item);
    keyed.emplace_back(std::move(k), std::move(item));
  }
  if (auto w = state.charge_sort(keyed.size()); !w) return pass(w.error());
  bool descending = flag_arg(reverse, false);
  // Stable in both directions: equal items keep their order, as Python's sorted() does.
  std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    return descending ? compare_values(b.first, a.first) < 0 : compare_values(a.first, b.first) < 0;
  });
  std::vector<Value> out;
  out.reserve(keyed.size());
  for (auto& [k, item] : keyed) out.push_back(std::move(item));
  return Value::from_seq(std::move(out));
}

Result dictsort(State& state, const Value& self, Args& args) {
  Value case_sensitive = args.get(0, "case_sensitive");
  Value by = args.get(1, "by");
  Value reverse = args.get(2, "reverse");
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  const Value::Entries* entries = entries_of(self);
  if (!entries) {
    return fail(ErrorKind::InvalidOperation, "dictsort needs a map, not " +
                                                 std::string(kind_name(self)));
  }
  bool by_value = false;
  if (!by.is_undefined() && by.kind() != Value::Kind::None) {
    if (by.kind() != Value::Kind::String || (by.as_string() != "key" && by.as_string() != "value")) {
      return fail(ErrorKind::InvalidOperation, "dictsort can only sort by 'key' or 'value'");
    }
    by_value = by.as_string() == "value";
  }
  bool cs = flag_arg(case_sensitive, false);
  bool descending = flag_arg(reverse, false);
  std::vector<std::pair<Value, const std::pair<Value, Value>*>> sorted;
  sorted.reserve(entries->size());
  for (const auto& e : *entries) sorted.emplace_back(comparable(by_value ? e.second : e.first, cs), &e);
  if (auto w = state.charge_sort(sorted.size()); !w) return pass(w.error());
  std::stable_sort(sorted.begin(), sorted.end(), [&](const auto& a, const auto& b) {
    return descending ? compare_values(b.first, a.first) < 0 : compare_values(a.first, b.first) < 0;
  });
  std::vector<Value> out;
  out.reserve(sorted.size());
  for (const auto& [key, e] : sorted) out.push_back(make_tuple({e->first, e->second}));
  return Value::from_seq(std::move(out));
}

Result items(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  const Value::Entries* entries = entries_of(self);
  if (!entries) {
    return fail(ErrorKind::InvalidOperation, "items needs a map, not " +
                                                 std::string(kind_name(self)));
  }
  std::vector<Value> out;
  out.reserve(entries->size());
  for (const auto& [k, v] : *entries) out.push_back(make_tuple({k, v}));
  return Value::from_seq(std::move(out));
}

Result reverse(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  if (self.kind() == Value::Kind::String) {
    auto chars = characters_of(self.as_string());
    std::string out;
    out.reserve(self.as_string().size());
    for (auto it = chars.rbegin(); it != chars.rend(); ++it) out += *it;
    return keep_safe(self, std::move(out));
  }
  if (self.kind() == Value::Kind::Seq || entries_of(self)) {
    auto items = state.iterate(self);
    if (!items) return pass(items.error());
    std::reverse(items->begin(), items->end());
    return Value::from_seq(std::move(*items));
  }
  return fail(ErrorKind::InvalidOperation,
              "cannot reverse values of type " + std::string(kind_name(self)));
}

Result join(State& state, const Value& self, Args& args) {
  Value sep = args.get(0, "d");
  Value attribute = args.get(1, "attribute");
  if (auto d = args.done(); !d) return pass(d.error());
  auto view = view_items(state, self);
  if (!view) return pass(view.error());
  const std::vector<Value>& items = view->get();
  std::string separator;
  if (!sep.is_undefined()) {
    auto s = text_of(state, sep);
    if (!s) return pass(s.error());
    separator = std::move(*s);
  }
  // Inside an autoescape block the parts that are not safe are escaped and the result is safe.
  bool escape = state.autoescape();
  if (escape && !sep.is_safe()) {
    std::string escaped;
    append_html_escaped(escaped, separator);
    separator = std::move(escaped);
  }
  bool has_attribute = !attribute.is_undefined() && attribute.kind() != Value::Kind::None;
  std::string out;
  bool first = true;
  for (const Value& raw : items) {
    Value item = has_attribute ? lookup_path(state, raw, attribute) : raw;
    if (auto r = state.require_defined(item); !r) return pass(r.error());
    if (!first) out += separator;
    first = false;
    if (escape && !item.is_safe()) {
      append_html_escaped(out, to_output_string(item));
    } else {
      append_output(out, item);
    }
    if (auto r = state.check_string_size(out.size()); !r) return pass(r.error());
  }
  return Value::from_string(std::move(out), escape);
}

Result list(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  auto items = items_of(state, self);
  if (!items) return pass(items.error());
  return Value::from_seq(std::move(*items));
}

// batch and slice read the same two arguments: a positive group count and an optional filler.
struct Grouping {
  std::size_t n;
  Value fill;
  bool filling;
};

std::expected<Grouping, Error> grouping_args(Args& args, std::string_view count_name,
                                             std::string_view what) {
  auto count = args.require(0, count_name);
  if (!count) return pass(count.error());
  Value fill = args.get(1, "fill_with");
  if (auto d = args.done(); !d) return pass(d.error());
  auto n = count_arg(*count, what);
  if (!n) return pass(n.error());
  if (*n == 0) return fail(ErrorKind::InvalidOperation, std::string(what) + " cannot be 0");
  bool filling = !fill.is_undefined() && fill.kind() != Value::Kind::None;
  return Grouping{*n, std::move(fill), filling};
}

Result batch(State& state, const Value& self, Args& args) {
  auto g = grouping_args(args, "linecount", "batch size");
  if (!g) return pass(g.error());
  const std::size_t n = g->n;
  const Value& fill = g->fill;
  const bool filling = g->filling;
  auto items = items_of(state, self);
  if (!items) return pass(items.error());
  std::vector<Value> out;
  for (std::size_t i = 0; i < items->size(); i += n) {
    std::size_t end = std::min(items->size(), i + n);
    std::vector<Value> group(items->begin() + static_cast<std::ptrdiff_t>(i),
                             items->begin() + static_cast<std::ptrdiff_t>(end));
    if (filling) {
      if (auto r = state.check_seq_size(n); !r) return pass(r.error());
      group.resize(n, fill);
    }
    out.push_back(Value::from_seq(std::move(group)));
  }
  return Value::from_seq(std::move(out));
}

Result slice(State& state, const Value& self, Args& args) {
  auto g = grouping_args(args, "slices", "number of slices");
  if (!g) return pass(g.error());
  const std::size_t n = g->n;
  const Value& fill = g->fill;
  const bool filling = g->filling;
  if (auto r = state.check_seq_size(n); !r) return pass(r.error());
  auto items = items_of(state, self);
  if (!items) return pass(items.error());
  // The first `length % n` slices take one item more; the others get the filler.
  std::size_t per = items->size() / n, extra = items->size() % n, offset = 0;
  std::vector<Value> out;
  out.reserve(n);
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t start = offset + k * per;
    if (k < extra) ++offset;
    std::size_t end = offset + (k + 1) * per;
    std::vector<Value> part(items->begin() + static_cast<std::ptrdiff_t>(start),
                            items->begin() + static_cast<std::ptrdiff_t>(end));
    if (filling && k >= extra) part.push_back(fill);
    out.push_back(Value::from_seq(std::move(part)));
  }
  return Value::from_seq(std::move(out));
}

Result sum(State& state, const Value& self, Args& args) {
  Value attribute = args.get(0, "attribute");
  Value start = args.get(1, "start");
  if (auto d = args.done(); !d) return pass(d.error());
  auto view = view_items(state, self);
  if (!view) return pass(view.error());
  const std::vector<Value>& items = view->get();
  bool numbers_only = start.is_undefined();
  Value total = numbers_only ? Value::from_int(0) : start;
  bool has_attribute = !attribute.is_undefined() && attribute.kind() != Value::Kind::None;
  for (const Value& raw : items) {
    Value item = has_attribute ? lookup_path(state, raw, attribute) : raw;
    if (has_attribute && item.is_undefined()) continue;
    if (auto r = state.require_defined(item); !r) return pass(r.error());
    if (numbers_only && !is_number(item) && item.kind() != Value::Kind::Bool) {
      return fail(ErrorKind::InvalidOperation,
                  "can only sum numbers, got " + std::string(kind_name(item)));
    }
    auto next = binary_op(Op::Add, total, item, state);
    if (!next) return next;
    total = std::move(*next);
  }
  return total;
}

Result unique(State& state, const Value& self, Args& args) {
  Value case_sensitive = args.get(0, "case_sensitive");
  Value attribute = args.get(1, "attribute");
  if (auto d = args.done(); !d) return pass(d.error());
  auto view = view_items(state, self);
  if (!view) return pass(view.error());
  const std::vector<Value>& items = view->get();
  bool cs = flag_arg(case_sensitive, false);
  bool has_attribute = !attribute.is_undefined() && attribute.kind() != Value::Kind::None;
  auto less = [](const Value& a, const Value& b) { return compare_values(a, b) < 0; };
  std::set<Value, decltype(less)> seen(less);
  std::vector<Value> out;
  for (const Value& item : items) {
    Value key = comparable(has_attribute ? lookup_path(state, item, attribute) : item, cs);
    if (seen.insert(std::move(key)).second) out.push_back(item);
  }
  return Value::from_seq(std::move(out));
}

Result chain(State& state, const Value& self, Args& args) {
  auto others = args.rest(0);
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  // Maps chain into one map (later keys win); anything else chains into a sequence.
  bool all_maps = entries_of(self) != nullptr;
  for (const Value& o : others) all_maps = all_maps && entries_of(o) != nullptr;
  if (all_maps) {
    Value::Entries merged = *entries_of(self);
    for (const Value& o : others) merged.insert(merged.end(), entries_of(o)->begin(), entries_of(o)->end());
    return make_map(std::move(merged));
  }
  auto out = items_of(state, self);
  if (!out) return pass(out.error());
  for (const Value& o : others) {
    auto more = items_of(state, o);
    if (!more) return pass(more.error());
    if (auto r = state.check_seq_size(out->size() + more->size()); !r) return pass(r.error());
    out->insert(out->end(), more->begin(), more->end());
  }
  return Value::from_seq(std::move(*out));
}

Result zip(State& state, const Value& self, Args& args) {
  auto others = args.rest(0);
  if (auto d = args.done(); !d) return pass(d.error());
  std::vector<std::vector<Value>> columns;
  auto first = items_of(state, self);
  if (!first) return pass(first.error());
  columns.push_back(std::move(*first));
  for (const Value& o : others) {
    auto more = items_of(state, o);
    if (!more) return pass(more.error());
    columns.push_back(std::move(*more));
  }
  std::size_t n = columns[0].size();
  for (const auto& c : columns) n = std::min(n, c.size());
  std::vector<Value> out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::vector<Value> row;
    row.reserve(columns.size());
    for (const auto& c : columns) row.push_back(c[i]);
    out.push_back(make_tuple(std::move(row)));
  }
  return Value::from_seq(std::move(out));
}

}  // namespace

void register_sequence_filters(Registry& registry) {
  registry.add_filter("length", length);
  registry.add_filter("count", length);
  registry.add_filter("first", first_or_last<true>);
  registry.add_filter("last", first_or_last<false>);
  registry.add_filter("min", min_or_max<true>);
  registry.add_filter("max", min_or_max<false>);
  registry.add_filter("sort", sort);
  registry.add_filter("dictsort", dictsort);
  registry.add_filter("items", items);
  registry.add_filter("reverse", reverse);
  registry.add_filter("join", join);
  registry.add_filter("list", list);
  registry.add_filter("batch", batch);
  registry.add_filter("slice", slice);
  registry.add_filter("sum", sum);
  registry.add_filter("unique", unique);
  registry.add_filter("chain", chain);
  registry.add_filter("zip", zip);
}

}  // namespace jinja::builtins

namespace jinja {

void register_filters(Registry& registry) {
  builtins::register_string_filters(registry);
  builtins::register_number_filters(registry);
  builtins::register_select_filters(registry);
  builtins::register_sequence_filters(registry);
}

}  // namespace jinja

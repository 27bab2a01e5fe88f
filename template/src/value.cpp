#include <algorithm>
#include <cmath>

#include "error_util.hpp"
#include "value.hpp"

namespace jinja {

namespace {

const std::string kEmptyString;
const std::vector<Value> kEmptySeq;
const Value::Entries kEmptyEntries;

__extension__ typedef __int128 Int128;

bool integral(const Value& v, Int128& out) {
  switch (v.kind()) {
    case Value::Kind::Bool: out = v.as_bool() ? 1 : 0; return true;
    case Value::Kind::Int: out = v.as_int(); return true;
    case Value::Kind::UInt: out = v.as_uint(); return true;
    default: return false;
  }
}

int rank(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Undefined: return 0;
    case Value::Kind::None: return 1;
    case Value::Kind::Bool:
    case Value::Kind::Int:
    case Value::Kind::UInt:
    case Value::Kind::Float: return 2;
    case Value::Kind::String: return 3;
    case Value::Kind::Seq: return 4;
    case Value::Kind::Map: return 5;
    case Value::Kind::Object: return as_object(v)->entries() ? 5 : 6;
  }
  return 6;
}

const Value::Entries* entries_of(const Value& v) {
  if (v.kind() == Value::Kind::Map) return &v.as_map();
  if (const Object* o = as_object(v)) return o->entries();
  return nullptr;
}

std::strong_ordering compare_numbers(const Value& a, const Value& b) {
  Int128 x, y;
  if (integral(a, x) && integral(b, y)) return x <=> y;
  double p = to_double(a), q = to_double(b);
  if (p < q) return std::strong_ordering::less;
  if (p > q) return std::strong_ordering::greater;
  if (p == q) return std::strong_ordering::equal;
  // NaN sorts after every number and equal to itself, to keep the order total.
  bool pn = std::isnan(p), qn = std::isnan(q);
  return pn == qn ? std::strong_ordering::equal
                  : (pn ? std::strong_ordering::greater : std::strong_ordering::less);
}

bool key_less(const std::pair<Value, Value>& a, const std::pair<Value, Value>& b) {
  return compare_values(a.first, b.first) < 0;
}

}  // namespace

Value::Value() = default;

Value Value::none() {
  Value v;
  v.kind_ = Kind::None;
  return v;
}
Value Value::from_bool(bool b) {
  Value v;
  v.kind_ = Kind::Bool;
  v.scalar_.b = b;
  return v;
}
Value Value::from_int(std::int64_t i) {
  Value v;
  v.kind_ = Kind::Int;
  v.scalar_.i = i;
  return v;
}
Value Value::from_uint(std::uint64_t u) {
  // Integers that fit the signed range are stored signed, so that equal numbers have one form.
  if (u <= static_cast<std::uint64_t>(INT64_MAX)) return from_int(static_cast<std::int64_t>(u));
  Value v;
  v.kind_ = Kind::UInt;
  v.scalar_.u = u;
  return v;
}
Value Value::from_float(double d) {
  Value v;
  v.kind_ = Kind::Float;
  v.scalar_.f = d;
  return v;
}
Value Value::from_string(std::string s, bool safe) {
  Value v;
  v.kind_ = Kind::String;
  v.safe_ = safe;
  v.heap_ = std::make_shared<const std::string>(std::move(s));
  return v;
}
Value Value::from_seq(std::vector<Value> items) {
  Value v;
  v.kind_ = Kind::Seq;
  ValueAccess::Shape shape;
  for (const Value& item : items) shape.add(item);
  shape.store(v);
  v.heap_ = std::make_shared<const std::vector<Value>>(std::move(items));
  return v;
}
Value Value::from_map(std::vector<std::pair<std::string, Value>> entries) {
  // Keys are all strings here, so order and de-duplicate them as plain bytes before they become
  // values: no value comparisons and no sort buffer. Insertion sort is stable (the last of equal
  // keys stays last) and fast for the few keys a map usually has; a long map uses stable_sort.
  auto less = [](const auto& a, const auto& b) { return a.first < b.first; };
  if (!std::is_sorted(entries.begin(), entries.end(), less)) {
    if (entries.size() > 32) {
      std::stable_sort(entries.begin(), entries.end(), less);
    } else {
      for (auto it = entries.begin() + 1; it != entries.end(); ++it) {
        if (!less(*it, *(it - 1))) continue;
        auto moved = std::move(*it);
        auto hole = it;
        for (; hole != entries.begin() && less(moved, *(hole - 1)); --hole)
          *hole = std::move(*(hole - 1));
        *hole = std::move(moved);
      }
    }
  }
  Entries converted;
  converted.reserve(entries.size());
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    auto next = it + 1;
    if (next != entries.end() && next->first == it->first) continue;  // a later key wins
    converted.emplace_back(from_string(std::move(it->first)), std::move(it->second));
  }
  return ValueAccess::make_sorted_map(std::move(converted));
}

std::string_view Value::as_string() const {
  return kind_ == Kind::String ? std::string_view(*static_cast<const std::string*>(heap_.get()))
                               : std::string_view(kEmptyString);
}
const std::vector<Value>& Value::as_seq() const {
  return kind_ == Kind::Seq ? *static_cast<const std::vector<Value>*>(heap_.get()) : kEmptySeq;
}
const Value::Entries& Value::as_map() const {
  return kind_ == Kind::Map ? *static_cast<const Entries*>(heap_.get()) : kEmptyEntries;
}

Value ValueAccess::make_sorted_map(Value::Entries entries) {
  Value v;
  v.kind_ = Value::Kind::Map;
  ValueAccess::Shape shape;
  for (const auto& [key, item] : entries) {
    shape.add(key);
    shape.add(item);
  }
  shape.store(v);
  v.heap_ = std::make_shared<const Value::Entries>(std::move(entries));
  return v;
}

Value ValueAccess::make_tuple(std::vector<Value> items) {
  Value v = Value::from_seq(std::move(items));
  v.safe_ = true;
  return v;
}

Value make_map(Value::Entries entries) {
  // Stable sort keeps the source order of equal keys, so the last one can win.
  if (!std::is_sorted(entries.begin(), entries.end(), key_less)) {
    std::stable_sort(entries.begin(), entries.end(), key_less);
  }
  auto out = entries.begin();
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    auto next = it + 1;
    if (next != entries.end() && compare_values(it->first, next->first) == 0) continue;
    if (out != it) *out = std::move(*it);
    ++out;
  }
  entries.erase(out, entries.end());
  return ValueAccess::make_sorted_map(std::move(entries));
}

Value map_get(const Value& map, std::string_view key) {
  const Value::Entries* entries = entries_of(map);
  if (!entries) return {};
  const Value* found = entries_find(*entries, key);
  return found ? *found : Value();
}

const Value* entries_find(const Value::Entries& entries, std::string_view key) {
  // String keys sit together in the order; search them by bytes.
  auto it = std::lower_bound(entries.begin(), entries.end(), key,
                             [](const std::pair<Value, Value>& e, std::string_view k) {
                               int r = rank(e.first);
                               if (r != 3) return r < 3;
                               return e.first.as_string() < k;
                             });
  if (it != entries.end() && it->first.kind() == Value::Kind::String &&
      it->first.as_string() == key) {
    return &it->second;
  }
  return nullptr;
}

Value map_get(const Value& map, const Value& key) {
  if (key.kind() == Value::Kind::String) return map_get(map, key.as_string());
  const Value::Entries* entries = entries_of(map);
  if (!entries) return {};
  auto it = std::lower_bound(
      entries->begin(), entries->end(), key,
      [](const std::pair<Value, Value>& e, const Value& k) { return compare_values(e.first, k) < 0; });
  if (it != entries->end() && compare_values(it->first, key) == 0) return it->second;
  return {};
}

std::string_view kind_name(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Undefined: return "undefined";
    case Value::Kind::None: return "none";
    case Value::Kind::Bool: return "bool";
    case Value::Kind::Int:
    case Value::Kind::UInt:
    case Value::Kind::Float: return "number";
    case Value::Kind::String: return "string";
    case Value::Kind::Seq: return "sequence";
    case Value::Kind::Map: return "map";
    case Value::Kind::Object: return as_object(v)->type_name();
  }
  return "value";
}

bool is_number(const Value& v) {
  auto k = v.kind();
  return k == Value::Kind::Int || k == Value::Kind::UInt || k == Value::Kind::Float;
}
bool is_integer(const Value& v) {
  return v.kind() == Value::Kind::Int || v.kind() == Value::Kind::UInt;
}

double to_double(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Bool: return v.as_bool() ? 1.0 : 0.0;
    case Value::Kind::Int: return static_cast<double>(v.as_int());
    case Value::Kind::UInt: return static_cast<double>(v.as_uint());
    case Value::Kind::Float: return v.as_float();
    default: return 0.0;
  }
}

bool is_truthy(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Undefined:
    case Value::Kind::None: return false;
    case Value::Kind::Bool: return v.as_bool();
    case Value::Kind::Int: return v.as_int() != 0;
    case Value::Kind::UInt: return v.as_uint() != 0;
    case Value::Kind::Float: return v.as_float() != 0.0;
    case Value::Kind::String: return !v.as_string().empty();
    case Value::Kind::Seq: return !v.as_seq().empty();
    case Value::Kind::Map: return !v.as_map().empty();
    case Value::Kind::Object: {
      const Value::Entries* e = as_object(v)->entries();
      return !e || !e->empty();
    }
  }
  return false;
}

bool values_equal(const Value& a, const Value& b) {
  return rank(a) == rank(b) && compare_values(a, b) == 0;
}

std::strong_ordering compare_values(const Value& a, const Value& b) {
  int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra <=> rb;
  // Shared payloads are equal without a walk (values are immutable; a namespace is itself).
  if (ra >= 3 && ValueAccess::same_payload(a, b)) return std::strong_ordering::equal;
  switch (ra) {
    case 2: return compare_numbers(a, b);
    case 3: return a.as_string().compare(b.as_string()) <=> 0;
    case 4: {
      const auto& x = a.as_seq();
      const auto& y = b.as_seq();
      for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (auto c = compare_values(x[i], y[i]); c != 0) return c;
      }
      return x.size() <=> y.size();
    }
    case 5: {
      const auto& x = *entries_of(a);
      const auto& y = *entries_of(b);
      for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (auto c = compare_values(x[i].first, y[i].first); c != 0) return c;
        if (auto c = compare_values(x[i].second, y[i].second); c != 0) return c;
      }
      return x.size() <=> y.size();
    }
    case 6: {
      auto pa = reinterpret_cast<std::uintptr_t>(as_object(a));
      auto pb = reinterpret_cast<std::uintptr_t>(as_object(b));
      return pa <=> pb;
    }
    default: return std::strong_ordering::equal;
  }
}

std::size_t utf8_length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

Value Object::get_attr(std::string_view) const { return {}; }
std::expected<void, Error> Object::set_attr(std::string_view, Value) const {
  return fail(ErrorKind::InvalidOperation,
              "can only assign to namespaces, not " + std::string(type_name()));
}
std::expected<Value, Error> Object::call(State&, Args&) const {
  return fail(ErrorKind::InvalidOperation, std::string(type_name()) + " is not callable");
}
std::expected<Value, Error> Object::call_method(State&, std::string_view name, Args&) const {
  return fail(ErrorKind::UnknownMethod,
              std::string(type_name()) + " has no method named " + std::string(name));
}

}  // namespace jinja

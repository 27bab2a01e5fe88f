#include "objects.hpp"

#include <algorithm>
#include <charconv>

#include "error_util.hpp"
#include "limits.hpp"

namespace jinja {

void LoopObject::print(std::string& out) const {
  char buf[48];
  auto r = std::to_chars(buf, buf + sizeof buf, index0);
  out += "<loop ";
  out.append(buf, r.ptr);
  out.push_back('/');
  r = std::to_chars(buf, buf + sizeof buf, items_.size());
  out.append(buf, r.ptr);
  out.push_back('>');
}

Value LoopObject::get_attr(std::string_view name) const {
  auto n = static_cast<std::int64_t>(items_.size());
  auto i = static_cast<std::int64_t>(index0);
  if (name == "index") return Value::from_int(i + 1);
  if (name == "index0") return Value::from_int(i);
  if (name == "revindex") return Value::from_int(n - i);
  if (name == "revindex0") return Value::from_int(n - i - 1);
  if (name == "first") return Value::from_bool(i == 0);
  if (name == "last") return Value::from_bool(i + 1 == n);
  if (name == "length") return Value::from_int(n);
  if (name == "depth") return Value::from_int(depth_);
  if (name == "depth0") return Value::from_int(static_cast<std::int64_t>(depth_) - 1);
  if (name == "previtem") return i > 0 ? items_[index0 - 1] : Value();
  if (name == "nextitem") return i + 1 < n ? items_[index0 + 1] : Value();
  return {};
}

std::expected<Value, Error> LoopObject::call(State& state, Args& args) const {
  if (!stmt_.recursive) {
    return fail(ErrorKind::InvalidOperation, "cannot recurse outside of recursive loop");
  }
  auto iterable = args.require(0);
  if (!iterable) return iterable;
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  return state.recurse_loop(stmt_, *iterable, depth_ + 1);
}

std::expected<Value, Error> LoopObject::call_method(State&, std::string_view name,
                                                    Args& args) const {
  if (name == "cycle") {
    auto items = args.rest(0);
    if (items.empty()) return Value::none();
    return items[index0 % items.size()];
  }
  if (name == "changed") {
    auto items = args.rest(0);
    Value current = items.size() == 1 ? items[0] : Value::from_seq({items.begin(), items.end()});
    bool changed = !changed_seen_ || !values_equal(current, last_changed_);
    changed_seen_ = true;
    last_changed_ = std::move(current);
    return Value::from_bool(changed);
  }
  return fail(ErrorKind::UnknownMethod, "loop has no method named " + std::string(name));
}

void NamespaceObject::print(std::string& out) const {
  append_repr(out, ValueAccess::make_sorted_map(entries_));
}

Value NamespaceObject::get_attr(std::string_view name) const {
  const Value* v = entries_find(entries_, name);
  return v ? *v : Value();
}

std::expected<void, Error> NamespaceObject::set_attr(std::string_view name, Value value) const {
  // A namespace inside a namespace could come to hold itself; printing or comparing it would
  // then never end, and the cycle would never be freed.
  if (ValueAccess::holds_namespace(value)) {
    return fail(ErrorKind::InvalidOperation, "a namespace cannot hold a namespace");
  }
  // Values carried across loop iterations could otherwise grow without bound.
  if (auto r = check_shape(value); !r) return r;
  if (const Value* v = entries_find(entries_, name)) {
    *const_cast<Value*>(v) = std::move(value);
    return {};
  }
  Value::Entries updated = entries_;
  updated.emplace_back(Value::from_string(std::string(name)), std::move(value));
  entries_ = make_map(std::move(updated)).as_map();
  return {};
}

void FunctionObject::print(std::string& out) const {
  out += "<function ";
  out += name_;
  out.push_back('>');
}

std::expected<Value, Error> FunctionObject::call(State& state, Args& args) const {
  return fn_(state, args);
}

void append_html_escaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#x27;"; break;
      case '/': out += "&#x2f;"; break;
      default: out.push_back(c);
    }
  }
}

}  // namespace jinja

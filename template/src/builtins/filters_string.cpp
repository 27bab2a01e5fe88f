// Filters over text: case, replace, trim, split, lines, indent, format, pprint.
#include <utility>

#include "builtins/support.hpp"
#include "limits.hpp"
#include "objects.hpp"

namespace jinja::builtins {

namespace {

template <std::string (*Change)(std::string_view), bool KeepSafe>
Result change_case(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  auto text = text_of(state, self);
  if (!text) return pass(text.error());
  std::string out = Change(*text);
  return KeepSafe ? keep_safe(self, std::move(out)) : Value::from_string(std::move(out));
}

Result replace(State& state, const Value& self, Args& args) {
  auto from = args.require(0, "old");
  if (!from) return from;
  auto to = args.require(1, "new");
  if (!to) return to;
  Value count = args.get(2, "count");
  if (auto d = args.done(); !d) return pass(d.error());
  auto text = text_of(state, self);
  if (!text) return pass(text.error());
  auto old_text = text_of(state, *from);
  if (!old_text) return pass(old_text.error());
  auto new_text = text_of(state, *to);
  if (!new_text) return pass(new_text.error());
  std::int64_t n = -1;
  if (!count.is_undefined() && count.kind() != Value::Kind::None) {
    auto c = int_arg(count, "count");
    if (!c) return pass(c.error());
    n = *c;
  }
  // Inside an autoescape block a safe text stays safe: what is put in is escaped first.
  bool safe = self.is_safe() && state.autoescape();
  if (safe) {
    std::string escaped_old, escaped_new;
    if (!from->is_safe()) append_html_escaped(escaped_old, *old_text), *old_text = escaped_old;
    if (!to->is_safe()) append_html_escaped(escaped_new, *new_text), *new_text = escaped_new;
  }
  auto out = replace_text(state, *text, *old_text, *new_text, n);
  if (!out) return pass(out.error());
  return Value::from_string(std::move(*out), safe);
}

Result trim(State& state, const Value& self, Args& args) {
  Value chars = args.get(0, "chars");
  if (auto d = args.done(); !d) return pass(d.error());
  auto text = text_of(state, self);
  if (!text) return pass(text.error());
  std::string set;
  bool custom = !chars.is_undefined() && chars.kind() != Value::Kind::None;
  if (custom) {
    auto c = text_of(state, chars);
    if (!c) return pass(c.error());
    set = std::move(*c);
  }
  std::string_view set_view = set;
  return keep_safe(self, std::string(strip_text(*text, custom ? &set_view : nullptr, true, true)));
}

Result split(State& state, const Value& self, Args& args) {
  Value sep = args.get(0);
  Value max = args.get(1);
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  if (self.kind() != Value::Kind::String) {
    return fail(ErrorKind::InvalidOperation, "cannot split a value of type " +
                                                 std::string(kind_name(self)));
  }
  std::int64_t n = -1;
  if (!max.is_undefined() && max.kind() != Value::Kind::None) {
    auto m = int_arg(max, "maximum number of splits");
    if (!m) return pass(m.error());
    n = *m;
  }
  if (sep.is_undefined() || sep.kind() == Value::Kind::None) {
    return Value::from_seq(split_text(self.as_string(), nullptr, n));
  }
  if (sep.kind() != Value::Kind::String) {
    return fail(ErrorKind::InvalidOperation, "the separator must be a string");
  }
  std::string_view s = sep.as_string();
  return Value::from_seq(split_text(self.as_string(), &s, n));
}

Result lines(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  if (self.kind() != Value::Kind::String) {
    return fail(ErrorKind::InvalidOperation, "cannot split a value of type " +
                                                 std::string(kind_name(self)) + " into lines");
  }
  // Lines end at "\n" or "\r\n"; a final line ending does not start another line.
  std::string_view s = self.as_string();
  std::vector<Value> out;
  while (!s.empty()) {
    std::size_t nl = s.find('\n');
    std::string_view line = s.substr(0, nl);
    if (nl != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.push_back(Value::from_string(std::string(line)));
    if (nl == std::string_view::npos) break;
    s.remove_prefix(nl + 1);
  }
  return Value::from_seq(std::move(out));
}

Result indent(State& state, const Value& self, Args& args) {
  Value width = args.get(0, "width");
  Value first = args.get(1, "first");
  Value blank = args.get(2, "blank");
  if (auto d = args.done(); !d) return pass(d.error());
  auto text = text_of(state, self);
  if (!text) return pass(text.error());
  std::string prefix;
  if (width.kind() == Value::Kind::String) {
    prefix = width.as_string();
  } else {
    std::size_t n = 4;
    if (!width.is_undefined()) {
      auto w = count_arg(width, "indent width");
      if (!w) return pass(w.error());
      n = *w;
    }
    if (auto r = state.check_string_size(n); !r) return pass(r.error());
    prefix.assign(n, ' ');
  }
  bool indent_first = flag_arg(first, false);
  bool indent_blank = flag_arg(blank, false);
  // Every line but the first is indented (the first too when asked); empty lines only when
  // asked. Line endings, a final one included, are kept as they are.
  std::string out;
  std::string_view rest = *text;
  bool at_first = true;
  while (true) {
    std::size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    bool is_last = nl == std::string_view::npos;
    if ((!at_first || indent_first) && (!line.empty() || indent_blank)) {
      out += prefix;
    }
    out += line;
    if (auto r = state.check_string_size(out.size()); !r) return pass(r.error());
    if (is_last) break;
    out.push_back('\n');
    rest.remove_prefix(nl + 1);
    at_first = false;
  }
  return keep_safe(self, std::move(out));
}

Result format(State& state, const Value& self, Args& args) {
  auto positional = args.rest(0);
  auto keywords = args.keywords();
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  if (self.kind() != Value::Kind::String) {
    return fail(ErrorKind::InvalidOperation, "format needs a string to format, not " +
                                                 std::string(kind_name(self)));
  }
  Value named;
  if (!keywords.empty()) {
    Value::Entries entries;
    for (const auto& [k, v] : keywords) entries.emplace_back(Value::from_string(std::string(k)), v);
    named = make_map(std::move(entries));
  }
  auto out = printf_format(state, self.as_string(), positional, named);
  if (!out) return out;
  return keep_safe(self, std::string(out->as_string()));
}

// False when the value nests deeper than the engine's recursion bound.
bool pretty(std::string& out, const Value& v, std::size_t depth) {
  if (depth > limits::kMaxRecursion) return false;
  const Value::Entries* entries = nullptr;
  if (v.kind() == Value::Kind::Map) entries = &v.as_map();
  if (const Object* o = as_object(v)) entries = o->entries();
  std::string indent((depth + 1) * 4, ' ');
  if (v.kind() == Value::Kind::Seq && !ValueAccess::is_tuple(v) && !v.as_seq().empty()) {
    out += "[\n";
    for (const Value& item : v.as_seq()) {
      out += indent;
      if (!pretty(out, item, depth + 1)) return false;
      out += ",\n";
    }
    out.append(depth * 4, ' ');
    out += "]";
  } else if (entries && !entries->empty()) {
    out += "{\n";
    for (const auto& [key, item] : *entries) {
      out += indent;
      append_repr(out, key);
      out += ": ";
      if (!pretty(out, item, depth + 1)) return false;
      out += ",\n";
    }
    out.append(depth * 4, ' ');
    out += "}";
  } else {
    append_repr(out, v);
  }
  return true;
}

Result pprint(State& state, const Value& self, Args& args) {
  if (auto d = args.done(); !d) return pass(d.error());
  if (auto r = state.require_defined(self); !r) return pass(r.error());
  std::string out;
  if (!pretty(out, self, 0)) return fail(ErrorKind::LimitExceeded, "value is nested too deeply");
  if (auto r = state.check_string_size(out.size()); !r) return pass(r.error());
  return Value::from_string(std::move(out));
}

}  // namespace

void register_string_filters(Registry& registry) {
  registry.add_filter("lower", change_case<lower_text, true>);
  registry.add_filter("upper", change_case<upper_text, true>);
  registry.add_filter("capitalize", change_case<capitalize_text, true>);
  registry.add_filter("title", change_case<title_text, false>);
  registry.add_filter("replace", replace);
  registry.add_filter("trim", trim);
  registry.add_filter("split", split);
  registry.add_filter("lines", lines);
  registry.add_filter("indent", indent);
  registry.add_filter("format", format);
  registry.add_filter("pprint", pprint);
}

}  // namespace jinja::builtins

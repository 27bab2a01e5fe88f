// The tree-walking evaluator.
#include <algorithm>
#include <bit>

#include "builtins/registry.hpp"
#include "environment.hpp"
#include "limits.hpp"
#include "objects.hpp"
#include "ops.hpp"
#include "parser.hpp"
#include "state.hpp"

namespace jinja {

namespace {

std::unexpected<Error> undefined_error() { return fail(ErrorKind::UndefinedError); }

// A character of a UTF-8 string is a byte and the continuation bytes after it; this is where
// the one starting at byte `i` ends.
std::size_t char_end(std::string_view s, std::size_t i) {
  std::size_t n = 1;
  while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
  return i + n;
}

bool is_ascii(std::string_view s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

std::size_t char_count(std::string_view s) {
  if (is_ascii(s)) return s.size();
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); i = char_end(s, i)) ++n;
  return n;
}

// Characters of a UTF-8 string, each as its own string.
std::vector<Value> characters(std::string_view s) {
  std::vector<Value> out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::size_t end = char_end(s, i);
    out.push_back(Value::from_string(std::string(s.substr(i, end - i))));
    i = end;
  }
  return out;
}

// The characters of `s` at start, start + step, ... short of stop, as one string. Indexing a
// string never splits it into one value per character: it is read in place.
std::string string_slice(std::string_view s, std::int64_t start, std::int64_t stop,
                         std::int64_t step) {
  std::string out;
  // The stride as a magnitude; -step would overflow for the most negative step.
  const std::uint64_t stride = step > 0 ? static_cast<std::uint64_t>(step)
                                        : static_cast<std::uint64_t>(-(step + 1)) + 1;
  const auto wanted = [&](std::int64_t j) {
    return step > 0 ? j >= start && j < stop && static_cast<std::uint64_t>(j - start) % stride == 0
                    : j <= start && j > stop && static_cast<std::uint64_t>(start - j) % stride == 0;
  };
  if (is_ascii(s)) {
    for (std::int64_t j = start; step > 0 ? j < stop : j > stop; j += step) {
      out.push_back(s[static_cast<std::size_t>(j)]);
    }
    return out;
  }
  std::vector<std::string_view> picked;
  std::int64_t j = 0;
  for (std::size_t i = 0; i < s.size(); ++j) {
    std::size_t end = char_end(s, i);
    if (wanted(j)) picked.push_back(s.substr(i, end - i));
    i = end;
  }
  if (step < 0) std::reverse(picked.begin(), picked.end());
  for (std::string_view c : picked) out += c;
  return out;
}

// Python's slice index normalisation.
std::int64_t clamp_index(std::int64_t i, std::int64_t n, std::int64_t lo, std::int64_t hi) {
  if (i < 0) i += n;
  return std::clamp(i, lo, hi);
}

}  // namespace

State::State(const Environment::Impl& env, const TemplateData& tpl, Value context)
    : env_(env), tpl_(tpl), ast_(tpl.ast), context_(std::move(context)) {}

const Registry& State::registry() const { return *env_.registry; }

bool State::has_filter(std::string_view name) const {
  return env_.user_filter(name) != nullptr || env_.registry->filter(name) != nullptr;
}

// ---- limits and checks ------------------------------------------------------------------

std::expected<void, Error> State::check_string_size(std::size_t bytes) const {
  if (bytes > limits::kMaxOutputBytes) return fail(ErrorKind::LimitExceeded, "string is too long");
  return {};
}

std::expected<void, Error> State::check_seq_size(std::size_t elements) const {
  if (elements > limits::kMaxSeqLength) {
    return fail(ErrorKind::LimitExceeded, "sequence is too long");
  }
  return {};
}

std::expected<void, Error> State::charge(std::uint64_t units) const {
  work_ += units;
  if (work_ > limits::kMaxWork) return fail(ErrorKind::LimitExceeded, "the render does too much work");
  return {};
}

std::expected<void, Error> State::charge_sort(std::size_t n) const {
  std::uint64_t log = std::bit_width(n);
  return charge(n * log * limits::kElementWork);
}

namespace {
// What reading or building a value costs: a string's bytes, a sequence's elements.
std::uint64_t size_cost(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::String: return v.as_string().size();
    case Value::Kind::Seq: return v.as_seq().size() * limits::kElementWork;
    default: return 1;
  }
}

// Indexing and slicing walk a string character by character, a few times the cost of a scan.
constexpr std::uint64_t kWalkWork = 4;

// Filters, tests and methods read a string whole; a sequence is charged where it is walked
// (State::iterate), so that taking its length or first item stays cheap.
std::uint64_t string_cost(const Value& v) {
  return v.kind() == Value::Kind::String ? v.as_string().size() : 1;
}
}  // namespace

std::expected<void, Error> check_shape(const Value& v) {
  if (ValueAccess::depth(v) > limits::kMaxValueDepth) {
    return fail(ErrorKind::LimitExceeded, "value is nested too deeply");
  }
  if (ValueAccess::weight(v) > limits::kMaxValueWeight) {
    return fail(ErrorKind::LimitExceeded, "value is too large");
  }
  return {};
}

std::expected<void, Error> State::require_defined(const Value& v) const {
  if (v.is_undefined()) return undefined_error();
  return {};
}

std::expected<bool, Error> State::truthy(const Value& v) const {
  if (v.is_undefined()) return undefined_error();
  return is_truthy(v);
}

std::expected<void, Error> State::enter() {
  if (++depth_ > limits::kMaxRecursion) {
    --depth_;
    return fail(ErrorKind::LimitExceeded, "recursion limit exceeded");
  }
  return {};
}

Error State::located(Error e, std::uint32_t offset) const {
  if (e.line == 0) e.line = line_of(tpl_.source, offset);
  if (!e.template_name) e.template_name = tpl_.name;
  return e;
}

// ---- values -----------------------------------------------------------------------------

std::expected<std::vector<Value>, Error> State::iterate(const Value& v) const {
  switch (v.kind()) {
    case Value::Kind::Undefined: return undefined_error();
    case Value::Kind::Seq:
      if (auto r = charge(v.as_seq().size() * limits::kElementWork); !r) {
        return std::unexpected(r.error());
      }
      return v.as_seq();
    case Value::Kind::String: {
      // A list of one value per character is one of the lists a render builds.
      std::size_t n = char_count(v.as_string());
      if (auto r = check_seq_size(n); !r) return std::unexpected(r.error());
      if (auto r = charge(n * limits::kElementWork); !r) return std::unexpected(r.error());
      return characters(v.as_string());
    }
    case Value::Kind::Map: {
      if (auto r = charge(v.as_map().size() * limits::kElementWork); !r) {
        return std::unexpected(r.error());
      }
      std::vector<Value> keys;
      keys.reserve(v.as_map().size());
      for (const auto& [k, item] : v.as_map()) keys.push_back(k);
      return keys;
    }
    case Value::Kind::Object:
      if (const Value::Entries* entries = as_object(v)->entries()) {
        std::vector<Value> keys;
        for (const auto& [k, item] : *entries) keys.push_back(k);
        return keys;
      }
      [[fallthrough]];
    default:
      return fail(ErrorKind::InvalidOperation,
                  "value of type " + std::string(kind_name(v)) + " is not iterable");
  }
}

Value State::get_attr(const Value& v, std::string_view name) const {
  if (v.kind() == Value::Kind::Map) return map_get(v, name);
  if (ValueAccess::is_group(v)) {
    if (name == "grouper") return v.as_seq()[0];
    if (name == "list") return v.as_seq()[1];
  }
  if (const Object* o = as_object(v)) return o->get_attr(name);
  return {};
}

Value State::get_item(const Value& v, const Value& key) const {
  switch (v.kind()) {
    case Value::Kind::Map: return map_get(v, key);
    case Value::Kind::Seq:
    case Value::Kind::String: {
      if (!is_integer(key)) return {};
      if (key.kind() == Value::Kind::UInt) return {};
      std::int64_t i = key.as_int();
      if (v.kind() == Value::Kind::Seq) {
        auto n = static_cast<std::int64_t>(v.as_seq().size());
        if (i < 0) i += n;
        if (i < 0 || i >= n) return {};
        return v.as_seq()[static_cast<std::size_t>(i)];
      }
      std::string_view s = v.as_string();
      const bool ascii = is_ascii(s);
      auto n = static_cast<std::int64_t>(ascii ? s.size() : char_count(s));
      if (i < 0) i += n;
      if (i < 0 || i >= n) return {};
      if (ascii) return Value::from_string(std::string(1, s[static_cast<std::size_t>(i)]));
      std::size_t at = 0;
      for (std::int64_t k = 0; k < i; ++k) at = char_end(s, at);
      return Value::from_string(std::string(s.substr(at, char_end(s, at) - at)));
    }
    case Value::Kind::Object:
      if (key.kind() == Value::Kind::String) return as_object(v)->get_attr(key.as_string());
      return {};
    default: return {};
  }
}

Value State::visible_variables() const {
  Value::Entries entries;
  for (auto it = vars_.rbegin(); it != vars_.rend(); ++it) {
    entries.emplace_back(Value::from_string(std::string(it->first)), it->second);
  }
  // Inner bindings come first in `entries`; make_map keeps the last of equal keys, so reverse.
  std::reverse(entries.begin(), entries.end());
  for (const auto& [k, v] : context_.as_map()) entries.insert(entries.begin(), {k, v});
  return make_map(std::move(entries));
}

Value State::lookup(std::string_view name) const {
  for (auto it = vars_.rbegin(); it != vars_.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  return map_get(context_, name);
}

void State::bind(std::string_view name, Value v) {
  std::size_t start = frames_.empty() ? 0 : frames_.back();
  for (std::size_t i = vars_.size(); i > start; --i) {
    if (vars_[i - 1].first == name) {
      vars_[i - 1].second = std::move(v);
      return;
    }
  }
  vars_.emplace_back(name, std::move(v));
}

// ---- builtin dispatch -------------------------------------------------------------------

std::expected<Value, Error> State::apply_filter(std::string_view name, const Value& v,
                                                Args& args) {
  if (const FilterFn* user = env_.user_filter(name)) {
    if (v.is_undefined()) return undefined_error();
    if (args.positional_count() != 0 || !args.keywords().empty()) {
      return fail(ErrorKind::TooManyArguments);
    }
    return (*user)(v);
  }
  BuiltinFilter fn = env_.registry->filter(name);
  if (!fn) return fail(ErrorKind::UnknownFilter, "filter " + std::string(name) + " is unknown");
  if (auto r = charge(string_cost(v)); !r) return std::unexpected(r.error());
  auto out = fn(*this, v, args);
  if (out) {
    if (auto r = charge(size_cost(*out)); !r) return std::unexpected(r.error());
  }
  return out;
}

std::expected<bool, Error> State::apply_test(std::string_view name, const Value& v, Args& args) {
  BuiltinTest fn = env_.registry->test(name);
  if (!fn) return fail(ErrorKind::UnknownTest, "test " + std::string(name) + " is unknown");
  if (auto r = charge(string_cost(v)); !r) return std::unexpected(r.error());
  return fn(*this, v, args);
}

std::expected<Value, Error> State::call_value(const Value& callee, Args& args) {
  if (callee.is_undefined()) return undefined_error();
  if (const Object* o = as_object(callee)) return o->call(*this, args);
  return fail(ErrorKind::InvalidOperation,
              "value of type " + std::string(kind_name(callee)) + " is not callable");
}

// ---- rendering --------------------------------------------------------------------------

std::expected<std::string, Error> State::render() {
  std::string out;
  out.reserve(tpl_.source.size() + tpl_.source.size() / 2);
  if (!context_.is_undefined() && context_.kind() != Value::Kind::Map &&
      context_.kind() != Value::Kind::None) {
    return std::unexpected(located(
        make_error(ErrorKind::InvalidOperation, "the context must be a map"), 0));
  }
  if (auto r = render_body(ast_.body(ast_.root_begin, ast_.root_count), out); !r) {
    return std::unexpected(r.error());
  }
  return out;
}

State::Done State::render_body(std::span<const std::uint32_t> body, std::string& out) {
  for (std::uint32_t id : body) {
    if (auto r = render_stmt(ast_.stmts[id], out); !r) return r;
  }
  return {};
}

State::Done State::write(std::string& out, const Value& v) {
  if (v.is_undefined()) return undefined_error();
  std::size_t before = out.size();
  if (autoescape_ && !v.is_safe()) {
    if (v.kind() == Value::Kind::String) {
      append_html_escaped(out, v.as_string());
    } else {
      std::string text;
      append_output(text, v);
      append_html_escaped(out, text);
    }
  } else {
    append_output(out, v);
  }
  output_budget_used_ += out.size() - before;
  if (out.size() > limits::kMaxOutputBytes || output_budget_used_ > 4 * limits::kMaxOutputBytes) {
    return fail(ErrorKind::LimitExceeded, "output is too long");
  }
  return {};
}

State::Done State::render_stmt(const Stmt& s, std::string& out) {
  auto at = [&](Error e) { return std::unexpected(located(std::move(e), s.offset)); };
  switch (s.kind) {
    case StmtKind::Data:
      out += s.text;
      output_budget_used_ += s.text.size();
      if (out.size() > limits::kMaxOutputBytes ||
          output_budget_used_ > 4 * limits::kMaxOutputBytes) {
        return at(make_error(ErrorKind::LimitExceeded, "output is too long"));
      }
      return {};
    case StmtKind::Output: {
      auto v = eval(s.expr);
      if (!v) return std::unexpected(v.error());
      if (auto r = write(out, *v); !r) {
        return std::unexpected(located(r.error(), ast_.exprs[s.expr].offset));
      }
      return {};
    }
    case StmtKind::If: {
      auto c = eval(s.expr);
      if (!c) return std::unexpected(c.error());
      if (c->is_undefined()) return at(make_error(ErrorKind::UndefinedError));
      return is_truthy(*c) ? render_body(ast_.body(s.body_begin, s.body_count), out)
                           : render_body(ast_.body(s.else_begin, s.else_count), out);
    }
    case StmtKind::For: {
      auto iterable = eval(s.expr);
      if (!iterable) return std::unexpected(iterable.error());
      if (auto r = render_for(s, *iterable, 1, out); !r) {
        return std::unexpected(located(r.error(), s.offset));
      }
      return {};
    }
    case StmtKind::Set: {
      auto v = eval(s.expr);
      if (!v) return std::unexpected(v.error());
      if (auto r = check_shape(*v); !r) return at(r.error());
      if (auto r = assign(ast_.exprs[s.target], *v); !r) {
        return std::unexpected(located(r.error(), s.offset));
      }
      return {};
    }
    case StmtKind::SetBlock:
    case StmtKind::FilterBlock: {
      if (auto r = enter(); !r) return at(r.error());
      std::string captured;
      auto r = render_body(ast_.body(s.body_begin, s.body_count), captured);
      leave();
      if (!r) return r;
      // Under autoescape the captured text is already escaped; it must not be escaped again.
      Value content = Value::from_string(std::move(captured), autoescape_);
      if (s.expr != kNoNode) {
        auto filtered = eval_filter(ast_.exprs[s.expr], &content);
        if (!filtered) return std::unexpected(filtered.error());
        content = std::move(*filtered);
      }
      if (s.kind == StmtKind::SetBlock) {
        bind(ast_.exprs[s.target].name, std::move(content));
        return {};
      }
      if (auto w = write(out, content); !w) return at(w.error());
      return {};
    }
    case StmtKind::With: {
      if (auto r = enter(); !r) return at(r.error());
      push_frame();
      Done r{};
      for (std::uint32_t i = 0; i + 1 < s.args_count && r; i += 2) {
        auto v = eval(ast_.args[s.args_begin + i + 1].expr);
        if (!v) {
          r = std::unexpected(v.error());
          break;
        }
        r = bind_target(ast_.exprs[ast_.args[s.args_begin + i].expr], *v);
        if (!r) r = std::unexpected(located(r.error(), s.offset));
      }
      if (r) r = render_body(ast_.body(s.body_begin, s.body_count), out);
      pop_frame();
      leave();
      return r;
    }
    case StmtKind::Autoescape: {
      auto flag = eval(s.expr);
      if (!flag) return std::unexpected(flag.error());
      if (flag->is_undefined()) return at(make_error(ErrorKind::UndefinedError));
      bool saved = autoescape_;
      // `true`, `false` or the name of an escaping mode ("html"); "none" switches it off.
      autoescape_ = flag->kind() == Value::Kind::String
                        ? flag->as_string() != "none" && !flag->as_string().empty()
                        : is_truthy(*flag);
      auto r = render_body(ast_.body(s.body_begin, s.body_count), out);
      autoescape_ = saved;
      return r;
    }
    case StmtKind::Do: {
      auto v = eval(s.expr);
      if (!v) return std::unexpected(v.error());
      return {};
    }
  }
  return {};
}

State::Done State::render_for(const Stmt& s, const Value& iterable, std::uint32_t depth,
                              std::string& out) {
  auto items = iterate(iterable);
  if (!items) return std::unexpected(items.error());
  if (auto r = enter(); !r) return r;
  push_frame();
  if (s.cond != kNoNode) {
    std::vector<Value> kept;
    for (Value& item : *items) {
      if (++iterations_ > limits::kMaxIterations) {
        pop_frame();
        leave();
        return fail(ErrorKind::LimitExceeded, "too many loop iterations");
      }
      if (auto r = bind_target(ast_.exprs[s.target], item); !r) {
        pop_frame();
        leave();
        return r;
      }
      auto c = eval(s.cond);
      if (!c || c->is_undefined()) {
        pop_frame();
        leave();
        if (!c) return std::unexpected(c.error());
        return std::unexpected(located(make_error(ErrorKind::UndefinedError),
                                       ast_.exprs[s.cond].offset));
      }
      if (is_truthy(*c)) kept.push_back(std::move(item));
    }
    *items = std::move(kept);
  }
  Done r{};
  if (items->empty()) {
    r = render_body(ast_.body(s.else_begin, s.else_count), out);
  } else {
    auto loop = std::make_shared<LoopObject>(s, std::move(*items), depth);
    Value loop_value = make_object(loop);
    const std::vector<Value>& looped = loop->items();
    std::size_t frame = frames_.back();
    for (std::size_t i = 0; i < looped.size() && r; ++i) {
      if (++iterations_ > limits::kMaxIterations) {
        r = fail(ErrorKind::LimitExceeded, "too many loop iterations");
        break;
      }
      loop->index0 = i;
      // Each iteration starts from a fresh frame: a `set` in one does not reach the next.
      vars_.resize(frame);
      vars_.emplace_back("loop", loop_value);
      r = bind_target(ast_.exprs[s.target], looped[i]);
      if (r) r = render_body(ast_.body(s.body_begin, s.body_count), out);
    }
  }
  pop_frame();
  leave();
  return r;
}

std::expected<Value, Error> State::recurse_loop(const Stmt& stmt, const Value& iterable,
                                                std::uint32_t depth) {
  std::string captured;
  if (auto r = render_for(stmt, iterable, depth, captured); !r) return std::unexpected(r.error());
  return Value::from_string(std::move(captured), true);
}

State::Done State::bind_target(const Expr& target, const Value& v) {
  if (target.kind == ExprKind::Name) {
    bind(target.name, v);
    return {};
  }
  if (target.kind == ExprKind::Tuple || target.kind == ExprKind::List) {
    auto parts = ast_.arg_list(target);
    if (v.is_undefined()) return undefined_error();
    // Only sequences unpack: splitting a string or a map's keys by accident hides mistakes.
    if (v.kind() != Value::Kind::Seq) return fail(ErrorKind::CannotUnpack, "value is not iterable");
    const std::vector<Value>& items = v.as_seq();
    if (items.size() != parts.size()) {
      return fail(ErrorKind::CannotUnpack, "sequence of wrong length (expected " +
                                               std::to_string(parts.size()) + ", got " +
                                               std::to_string(items.size()) + ")");
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (auto r = bind_target(ast_.exprs[parts[i].expr], items[i]); !r) return r;
    }
    return {};
  }
  return fail(ErrorKind::InvalidOperation, "cannot assign to this expression");
}

State::Done State::assign(const Expr& target, const Value& v) {
  if (target.kind != ExprKind::Attr) return bind_target(target, v);
  auto object = eval(target.a);
  if (!object) return std::unexpected(object.error());
  if (object->is_undefined()) return undefined_error();
  if (const Object* o = as_object(*object)) return o->set_attr(target.name, v);
  return fail(ErrorKind::InvalidOperation,
              "can only assign to namespaces, not " + std::string(kind_name(*object)));
}

// ---- expressions ------------------------------------------------------------------------

State::Result State::eval(std::uint32_t id) {
  const Expr& e = ast_.exprs[id];
  auto at = [&](Error err) { return std::unexpected(located(std::move(err), e.offset)); };
  switch (e.kind) {
    case ExprKind::Const: return ast_.constants[e.a];
    case ExprKind::Name: return eval_name(e);
    case ExprKind::List:
    case ExprKind::Tuple:
    case ExprKind::Map: return eval_collection(e);
    case ExprKind::Attr: {
      auto object = eval(e.a);
      if (!object) return object;
      if (object->is_undefined()) return at(make_error(ErrorKind::UndefinedError));
      return get_attr(*object, e.name);
    }
    case ExprKind::Item: {
      auto object = eval(e.a);
      if (!object) return object;
      if (object->is_undefined()) return at(make_error(ErrorKind::UndefinedError));
      auto key = eval(e.b);
      if (!key) return key;
      if (key->is_undefined()) return at(make_error(ErrorKind::UndefinedError));
      // A string is read up to the character asked for, character by character.
      if (auto c = charge(kWalkWork * string_cost(*object)); !c) return at(std::move(c.error()));
      return get_item(*object, *key);
    }
    case ExprKind::Slice: {
      auto object = eval(e.a);
      if (!object) return object;
      if (object->is_undefined()) return at(make_error(ErrorKind::UndefinedError));
      std::int64_t parts[3] = {0, 0, 1};
      bool given[3] = {false, false, false};
      std::uint32_t ids[3] = {e.b, e.c, e.d};
      for (int k = 0; k < 3; ++k) {
        if (ids[k] == kNoNode) continue;
        auto p = eval(ids[k]);
        if (!p) return p;
        if (p->kind() == Value::Kind::None) continue;
        if (p->kind() != Value::Kind::Int) {
          return at(make_error(ErrorKind::InvalidOperation, "slice indices must be integers"));
        }
        parts[k] = p->as_int();
        given[k] = true;
      }
      std::int64_t step = parts[2];
      if (step == 0) return at(make_error(ErrorKind::InvalidOperation, "cannot slice by step size of 0"));
      const bool is_string = object->kind() == Value::Kind::String;
      if (!is_string && object->kind() != Value::Kind::Seq) {
        return at(make_error(ErrorKind::InvalidOperation,
                             "value of type " + std::string(kind_name(*object)) +
                                 " cannot be sliced"));
      }
      if (auto c = charge(is_string ? kWalkWork * string_cost(*object) : size_cost(*object)); !c) {
        return at(std::move(c.error()));
      }
      auto n = static_cast<std::int64_t>(is_string ? char_count(object->as_string())
                                                   : object->as_seq().size());
      std::int64_t start, stop;
      if (step > 0) {
        start = given[0] ? clamp_index(parts[0], n, 0, n) : 0;
        stop = given[1] ? clamp_index(parts[1], n, 0, n) : n;
      } else {
        start = given[0] ? clamp_index(parts[0], n, -1, n - 1) : n - 1;
        stop = given[1] ? clamp_index(parts[1], n, -1, n - 1) : -1;
      }
      if (is_string) {
        return Value::from_string(string_slice(object->as_string(), start, stop, step));
      }
      const std::vector<Value>& items = object->as_seq();
      std::vector<Value> out;
      for (std::int64_t i = start; step > 0 ? i < stop : i > stop; i += step) {
        out.push_back(items[static_cast<std::size_t>(i)]);
      }
      return Value::from_seq(std::move(out));
    }
    case ExprKind::Call: return eval_call(e);
    case ExprKind::Filter: return eval_filter(e, nullptr);
    case ExprKind::Test: return eval_test(e);
    case ExprKind::Unary: {
      auto v = eval(e.a);
      if (!v) return v;
      if (v->is_undefined()) return at(make_error(ErrorKind::UndefinedError));
      if (e.op == Op::Not) return Value::from_bool(!is_truthy(*v));
      if (e.op == Op::Pos) {
        if (!is_number(*v) && v->kind() != Value::Kind::Bool) {
          return at(make_error(ErrorKind::InvalidOperation));
        }
        return *v;
      }
      auto r = negate(*v);
      if (!r) return at(r.error());
      return r;
    }
    case ExprKind::Binary: return eval_binary(e);
    case ExprKind::Cond: {
      auto c = eval(e.b);
      if (!c) return c;
      if (c->is_undefined()) return at(make_error(ErrorKind::UndefinedError));
      if (is_truthy(*c)) return eval(e.a);
      // Without an else branch the expression prints as nothing.
      if (e.c == kNoNode) return Value::from_string({});
      return eval(e.c);
    }
  }
  return Value();
}

State::Result State::eval_name(const Expr& e) {
  Value v = lookup(e.name);
  if (!v.is_undefined()) return v;
  if (BuiltinGlobal fn = env_.registry->global(e.name)) {
    return make_object(std::make_shared<FunctionObject>(e.name, fn));
  }
  return v;
}

State::Result State::eval_collection(const Expr& e) {
  auto items = ast_.arg_list(e);
  if (e.kind == ExprKind::Map) {
    Value::Entries entries;
    entries.reserve(items.size() / 2);
    for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
      auto k = eval(items[i].expr);
      if (!k) return k;
      auto v = eval(items[i + 1].expr);
      if (!v) return v;
      entries.emplace_back(std::move(*k), std::move(*v));
    }
    return make_map(std::move(entries));
  }
  std::vector<Value> out;
  out.reserve(items.size());
  for (const Arg& a : items) {
    auto v = eval(a.expr);
    if (!v) return v;
    out.push_back(std::move(*v));
  }
  return e.kind == ExprKind::Tuple ? make_tuple(std::move(out)) : Value::from_seq(std::move(out));
}

std::expected<void, Error> State::eval_args(const Expr& e, std::vector<Value>& pos,
                                            std::vector<Kwarg>& kw) {
  for (const Arg& a : ast_.arg_list(e)) {
    auto v = eval(a.expr);
    if (!v) return std::unexpected(v.error());
    if (a.name.empty()) {
      pos.push_back(std::move(*v));
    } else {
      kw.emplace_back(a.name, std::move(*v));
    }
  }
  return {};
}

State::Result State::eval_call(const Expr& e) {
  auto at = [&](Error err) { return std::unexpected(located(std::move(err), e.offset)); };
  const Expr& callee = ast_.exprs[e.a];
  std::vector<Value> pos;
  std::vector<Kwarg> kw;
  if (callee.kind == ExprKind::Attr) {
    auto object = eval(callee.a);
    if (!object) return object;
    if (object->is_undefined()) return at(make_error(ErrorKind::UndefinedError));
    if (auto r = eval_args(e, pos, kw); !r) return std::unexpected(r.error());
    Args args(pos, kw);
    Result r;
    if (const Object* o = as_object(*object)) {
      r = o->call_method(*this, callee.name, args);
    } else {
      BuiltinMethod fn = nullptr;
      switch (object->kind()) {
        case Value::Kind::String: fn = env_.registry->method(MethodReceiver::String, callee.name); break;
        case Value::Kind::Map: fn = env_.registry->method(MethodReceiver::Map, callee.name); break;
        case Value::Kind::Seq: fn = env_.registry->method(MethodReceiver::Seq, callee.name); break;
        default: break;
      }
      if (!fn) {
        return at(make_error(ErrorKind::UnknownMethod, std::string(kind_name(*object)) +
                                                           " has no method named " +
                                                           std::string(callee.name)));
      }
      if (auto c = charge(string_cost(*object)); !c) return at(std::move(c.error()));
      r = fn(*this, *object, args);
      if (r) {
        if (auto c = charge(size_cost(*r)); !c) return at(std::move(c.error()));
      }
    }
    if (!r) return at(std::move(r.error()));
    return r;
  }
  Value target;
  if (callee.kind == ExprKind::Name) {
    target = lookup(callee.name);
    if (target.is_undefined()) {
      BuiltinGlobal fn = env_.registry->global(callee.name);
      if (!fn) {
        return at(make_error(ErrorKind::UnknownFunction,
                             std::string(callee.name) + " is unknown"));
      }
      if (auto r = eval_args(e, pos, kw); !r) return std::unexpected(r.error());
      Args args(pos, kw);
      auto r = fn(*this, args);
      if (!r) return at(std::move(r.error()));
      return r;
    }
  } else {
    auto v = eval(e.a);
    if (!v) return v;
    target = std::move(*v);
  }
  if (auto r = eval_args(e, pos, kw); !r) return std::unexpected(r.error());
  Args args(pos, kw);
  auto r = call_value(target, args);
  if (!r) return at(std::move(r.error()));
  return r;
}

State::Result State::eval_filter(const Expr& e, const Value* block_content) {
  Value operand;
  if (e.a == kNoNode) {
    operand = *block_content;
  } else if (ast_.exprs[e.a].kind == ExprKind::Filter && block_content) {
    auto v = eval_filter(ast_.exprs[e.a], block_content);
    if (!v) return v;
    operand = std::move(*v);
  } else {
    auto v = eval(e.a);
    if (!v) return v;
    operand = std::move(*v);
  }
  std::vector<Value> pos;
  std::vector<Kwarg> kw;
  if (auto r = eval_args(e, pos, kw); !r) return std::unexpected(r.error());
  Args args(pos, kw);
  auto r = apply_filter(e.name, operand, args);
  if (!r) return std::unexpected(located(std::move(r.error()), e.offset));
  return r;
}

State::Result State::eval_test(const Expr& e) {
  auto operand = eval(e.a);
  if (!operand) return operand;
  std::vector<Value> pos;
  std::vector<Kwarg> kw;
  if (auto r = eval_args(e, pos, kw); !r) return std::unexpected(r.error());
  Args args(pos, kw);
  auto r = apply_test(e.name, *operand, args);
  if (!r) return std::unexpected(located(std::move(r.error()), e.offset));
  return Value::from_bool(*r != e.negated);
}

State::Result State::eval_binary(const Expr& e) {
  auto at = [&](Error err) { return std::unexpected(located(std::move(err), e.offset)); };
  auto a = eval(e.a);
  if (!a) return a;
  if (a->is_undefined()) {
    return std::unexpected(located(make_error(ErrorKind::UndefinedError), ast_.exprs[e.a].offset));
  }
  if (e.op == Op::And || e.op == Op::Or) {
    bool t = is_truthy(*a);
    if ((e.op == Op::And) != t) return a;
    auto b = eval(e.b);
    if (b && b->is_undefined()) {
      return std::unexpected(
          located(make_error(ErrorKind::UndefinedError), ast_.exprs[e.b].offset));
    }
    return b;
  }
  auto b = eval(e.b);
  if (!b) return b;
  if (b->is_undefined()) {
    return std::unexpected(located(make_error(ErrorKind::UndefinedError), ast_.exprs[e.b].offset));
  }
  auto r = binary_op(e.op, *a, *b, *this);
  if (!r) return at(std::move(r.error()));
  // What an operator builds is its work (concatenation, repetition); one that answers with a
  // number or a truth value read its operands (`in`, comparisons).
  const bool built = r->kind() == Value::Kind::String || r->kind() == Value::Kind::Seq;
  if (auto c = charge(built ? size_cost(*r) : size_cost(*a) + size_cost(*b)); !c) {
    return at(std::move(c.error()));
  }
  return r;
}

}  // namespace jinja

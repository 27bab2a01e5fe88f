// The template engine's public interface: a Jinja dialect with strict undefined handling
// and no auto-escaping. It knows nothing of prompts or Python.
//
// Typical use:
//   jinja::Environment env;                       // standard filters, tests and globals
//   env.add_filter("shout", fn);                  // optional one-argument filters
//   if (auto r = env.add_template("kernel", src); !r) { ... r.error().full_text() ... }
//   auto tpl = env.get_template("kernel");        // const Template*
//   auto out = (*tpl)->render(std::move(context)); // std::expected<std::string, Error>
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace jinja {

// ---------------------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------------------
enum class ErrorKind : std::uint8_t {
  SyntaxError,       // "syntax error"
  UndefinedError,    // "undefined value"
  InvalidOperation,  // "invalid operation"
  TooManyArguments,  // "too many arguments"
  MissingArgument,   // "missing argument"
  UnknownFilter,     // "unknown filter"
  UnknownTest,       // "unknown test"
  UnknownFunction,   // "unknown function"
  UnknownMethod,     // "unknown method"
  BadEscape,         // "bad string escape"
  CannotUnpack,      // "cannot unpack"
  TemplateNotFound,  // "template not found"
  LimitExceeded,     // an engine limit (output size, recursion, range size, ...)
};

struct Error {
  ErrorKind kind;
  std::optional<std::string> detail;
  std::optional<std::string> template_name;
  std::uint32_t line = 0;

  std::string_view description() const;
  // description, then ": " + detail when there is one, then " (in NAME:LINE)" when the
  // template is known.
  std::string full_text() const;
};

// ---------------------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------------------
// A dynamic value: undefined, none, bool, signed/unsigned 64-bit integer, double, string
// (with a `safe` marker), sequence, map (iterating in byte order of its keys) or one of the
// engine's own objects. Copies are cheap (shared immutable payloads).
class Value {
 public:
  enum class Kind : std::uint8_t { Undefined, None, Bool, Int, UInt, Float, String, Seq, Map, Object };
  using Entries = std::vector<std::pair<Value, Value>>;  // a map's entries, sorted by key

  Value();  // undefined
  static Value none();
  static Value from_bool(bool b);
  static Value from_int(std::int64_t i);
  static Value from_uint(std::uint64_t u);  // stored as Int when it fits
  static Value from_float(double d);
  static Value from_string(std::string s, bool safe = false);
  static Value from_seq(std::vector<Value> items);
  // Sorts by key (byte order); for equal keys the later entry wins.
  static Value from_map(std::vector<std::pair<std::string, Value>> entries);

  Kind kind() const { return kind_; }
  bool is_undefined() const { return kind() == Kind::Undefined; }

  // Raw payload accessors: each answers a neutral value (false, 0, "", empty) when the kind
  // differs, so callers test kind() first.
  bool as_bool() const { return kind_ == Kind::Bool && scalar_.b; }
  std::int64_t as_int() const { return kind_ == Kind::Int ? scalar_.i : 0; }
  std::uint64_t as_uint() const { return kind_ == Kind::UInt ? scalar_.u : 0; }
  double as_float() const { return kind_ == Kind::Float ? scalar_.f : 0.0; }
  std::string_view as_string() const;
  bool is_safe() const { return kind_ == Kind::String && safe_; }
  const std::vector<Value>& as_seq() const;
  const Entries& as_map() const;

  struct Impl;

 private:
  Kind kind_ = Kind::Undefined;
  bool safe_ = false;
  // Containers: whether a namespace object sits inside (top bit) and the nesting depth (low
  // bits, saturating), and the number of values inside when shared parts are counted each
  // time (saturating), so that the engine can refuse values that would recurse without
  // bound, form cycles or expand exponentially when printed or compared.
  std::uint16_t shape_ = 0;
  std::uint32_t weight_ = 0;
  union Scalar {
    bool b;
    std::int64_t i;
    std::uint64_t u;
    double f;
  } scalar_{};
  // String: std::string, Seq: std::vector<Value>, Map: Entries, Object: the engine's object.
  std::shared_ptr<const void> heap_;
  friend struct ValueAccess;
};

// The text a value prints as in `{{ }}` output (the same form the `string` filter gives).
std::string to_output_string(const Value& value);

// ---------------------------------------------------------------------------------------
// Environment and templates
// ---------------------------------------------------------------------------------------
using FilterFn = std::function<std::expected<Value, Error>(const Value&)>;

class Template;

class Environment {
 public:
  // Standard filters, tests and globals (range, dict, debug, namespace); strict undefined;
  // no auto-escaping; a trailing line ending of a template source is not emitted.
  Environment();
  ~Environment();
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // Registers a one-argument filter (replacing any filter of that name).
  void add_filter(std::string name, FilterFn fn);

  // Compiles `source` and stores it under `name`. Syntax errors come back here.
  std::expected<void, Error> add_template(std::string name, std::string source);
  std::expected<const Template*, Error> get_template(std::string_view name) const;

  // The names of the global functions, sorted.
  std::vector<std::string> global_names() const;

  struct Impl;
 private:
  std::unique_ptr<Impl> impl_;
};

class Template {
 public:
  ~Template();
  // Renders with `context` (a map) as the root context.
  std::expected<std::string, Error> render(Value context) const;
  // The root names the template reads without binding them first, sorted by bytes.
  std::vector<std::string> undeclared_variables() const;

  struct Impl;
  explicit Template(std::unique_ptr<Impl> impl);
 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace jinja

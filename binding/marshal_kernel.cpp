// Python objects straight into the engine's values: the render hot path converts the
// validated dump once, without building a JSON value first.
#include <cstdint>

#include "marshal.hpp"
#include "marshal_walk.hpp"

namespace quorlen::py {
namespace {

struct KernelSink {
  using Value = jinja::Value;
  static Value null() { return Value::none(); }
  static Value boolean(bool b) { return Value::from_bool(b); }
  static Value int64(std::int64_t i) { return Value::from_int(i); }
  // Integers that fit the signed kind take it, so the engine's arithmetic and comparisons
  // see one kind for ordinary numbers; only values above 2**63-1 stay unsigned.
  static Value uint64(std::uint64_t u) {
    if (u <= static_cast<std::uint64_t>(INT64_MAX))
      return Value::from_int(static_cast<std::int64_t>(u));
    return Value::from_uint(u);
  }
  static Value real(double d) { return Value::from_float(d); }
  static Value string(std::string_view s) { return Value::from_string(std::string(s)); }
  static Value array(std::vector<Value> items) { return Value::from_seq(std::move(items)); }
  static Value object(std::vector<std::pair<std::string, Value>> entries) {
    return Value::from_map(std::move(entries));
  }
};

}  // namespace

Marshalled<jinja::Value> kernel_value_from_python(PyObject* object) {
  return marshal_detail::FromPython<KernelSink>().convert(object, 0);
}

}  // namespace quorlen::py

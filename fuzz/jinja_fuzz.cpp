// Fuzzes compile + analysis + render: any input must end in output or an engine error.
#include <jinja/jinja.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

jinja::Value context() {
  using jinja::Value;
  return Value::from_map({
      {"name", Value::from_string("Ada <&>")},
      {"n", Value::from_int(-3)},
      {"big", Value::from_uint(18446744073709551615ull)},
      {"f", Value::from_float(0.5)},
      {"flag", Value::from_bool(true)},
      {"nothing", Value::none()},
      {"items", Value::from_seq({Value::from_int(1), Value::from_string("two"), Value::none()})},
      {"user", Value::from_map({{"name", Value::from_string("Bob")},
                                {"tags", Value::from_seq({Value::from_string("a")})}})},
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;  // bigger inputs only slow the search down
  jinja::Environment env;
  if (!env.add_template("kernel", std::string(reinterpret_cast<const char*>(data), size))) {
    return 0;
  }
  auto tpl = env.get_template("kernel");
  if (!tpl) __builtin_trap();
  (void)(*tpl)->undeclared_variables();
  auto out = (*tpl)->render(context());
  if (!out) (void)out.error().full_text();
  return 0;
}

// Prompt.render: bind, validate in Python, convert the dump into the engine's values, render
// in the kernel, and translate a kernel failure (scrubbed unless detail is revealed).
#include "render.hpp"

#include <utility>

#include "error.hpp"
#include "marshal.hpp"
#include "prompt.hpp"
#include "py/args.hpp"
#include "py/object.hpp"
#include "quorlen/consumer/error.hpp"
#include "quorlen/core/engine.hpp"

namespace quorlen::py {
namespace {

using core::GuardConfig;

// ---- render ----------------------------------------------------------------------------

constexpr Signature<5> kRenderSig{"render",
                                  {{{"model", kPositional, kOptional},
                                    {"data", kKeywordOnly, kOptional},
                                    {"variant", kKeywordOnly, kOptional},
                                    {"guard", kKeywordOnly, kOptional},
                                    {"unsafe_reveal_render_detail", kKeywordOnly, kOptional}}}};

std::unexpected<Raised> validation_row(const char* message) {
  return raise_rows(ErrorKind::Validation, {FieldRow{"", "validation", message}});
}

Result<Ref> render(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto bound = bind(kRenderSig, args, nargs, kwnames);
  if (!bound) return raised();
  PyObject* model = bound->opt(0);
  PyObject* data = bound->opt(1);
  auto variant = bound->opt_str(2);
  if (!variant) return raised();
  auto guard = bound->opt_exact(3, guard_config_type());
  if (!guard) return raised();
  auto reveal = bound->flag(4, false);
  if (!reveal) return raised();

  const PromptData& prompt = payload<PromptData>(self);
  if (!model) {
    if (!prompt.validators)
      return validation_row("render() requires a model or validators bound at construction");
    if (!data)
      return validation_row(
          "render() with no model arg requires explicit data= when using a bound validator "
          "class");
  }
  // Validation may run arbitrary Python code: hold what it uses for the whole call.
  Ref validating = Ref::borrow(model ? model : prompt.validators.get());
  auto validated = validate_in_python(validating.get(), data);
  if (!validated) return raised();
  auto value = to_kernel_value(validated->get());
  if (!value) return raised();

  GuardConfig config;
  if (*guard) config = payload<GuardConfig>(*guard);
  auto result = core::render(prompt.prompt.definition(), *variant, std::move(*value), config);
  if (!result)
    return raise_consumer(consumer::from_kernel_revealing(std::move(result.error()), *reveal));
  PyTypeObject* type = render_result_type();
  if (!type) return raised();
  Ref out = make_instance(type, std::move(*result));
  if (!out) return raised();
  return out;
}

}  // namespace

Result<jinja::Value> to_kernel_value(PyObject* object) {
  auto value = kernel_value_from_python(object);
  if (value) return std::move(*value);
  if (value.error().pending) return raised();
  return raise_load("could not marshal Python value: " + value.error().message);
}

PyObject* prompt_render(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  auto out = render(self, args, nargs, kwnames);
  return out ? out->release() : nullptr;
}

}  // namespace quorlen::py

#include "derive.hpp"

#include <utility>

#include "error.hpp"
#include "marshal.hpp"
#include "merge_strategy.hpp"
#include "prompt.hpp"
#include "py/args.hpp"
#include "py/object.hpp"
#include "quorlen/consumer/prompt.hpp"

namespace quorlen::py {
namespace {

constexpr Signature<3> kDeriveSig{"derive",
                                  {{{"overlay", kPositional, kRequired},
                                    {"validators", kKeywordOnly, kOptional},
                                    {"strategy", kKeywordOnly, kOptional}}}};

Result<Ref> derive(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto bound = bind(kDeriveSig, args, nargs, kwnames);
  if (!bound) return raised();
  PyTypeObject* strategy_type = merge_strategy_type();
  if (!strategy_type) return raised();
  auto strategy_member = bound->opt_exact(2, strategy_type);
  if (!strategy_member) return raised();
  const consumer::MergeStrategy strategy =
      *strategy_member ? merge_strategy_of(*strategy_member) : consumer::MergeStrategy::Replace;

  auto json = json_from_python((*bound)[0]);
  if (!json) {
    if (json.error().pending) return raised();
    return raise_load(std::move(json.error().message));
  }
  auto overlay = consumer::overlay_from_json(std::move(*json));
  if (!overlay) return raise_consumer(std::move(overlay.error()));

  const PromptData& base = payload<PromptData>(self);
  auto derived = consumer::derive_with(base.prompt, std::move(*overlay), strategy);
  if (!derived) return raise_consumer(std::move(derived.error()));

  // A given validators object replaces the base's; it is never combined with it.
  Ref validators = Ref::borrow(bound->opt(1) ? bound->opt(1) : base.validators.get());
  if (!check_validator_coverage(derived->definition(), validators.get())) return raised();
  PyTypeObject* type = prompt_type();
  if (!type) return raised();
  Ref out = make_instance(type, PromptData{std::move(*derived), std::move(validators)});
  if (!out) return raised();
  return out;
}

}  // namespace

PyObject* prompt_derive(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  auto out = derive(self, args, nargs, kwnames);
  return out ? out->release() : nullptr;
}

}  // namespace quorlen::py

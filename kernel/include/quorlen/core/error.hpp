// Every failure of the rendering kernel: one kind and one owned text.
#pragma once

#include <string>

namespace quorlen::core {

struct KernelError {
  enum class Kind { UnknownVariant, ExcludedFeature, Parse, UndefinedVariable, Render, Guard };
  Kind kind;
  std::string text;
};

}  // namespace quorlen::core

#include "builtins/registry.hpp"

namespace jinja {

void register_methods(Registry&) {}

}  // namespace jinja

#include "builtins/registry.hpp"

namespace jinja {

void register_filters(Registry&) {}

}  // namespace jinja

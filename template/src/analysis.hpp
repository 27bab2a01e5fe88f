// The root names a template reads without binding them first.
#pragma once

#include <string>
#include <vector>

#include "ast.hpp"

namespace jinja {

// Sorted by bytes, each name once.
std::vector<std::string> analyze_undeclared(const Ast& ast);

}  // namespace jinja

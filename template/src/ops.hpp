// Arithmetic, concatenation, comparison and containment between two defined values.
#pragma once

#include <expected>

#include "ast.hpp"
#include "value.hpp"

namespace jinja {

std::expected<Value, Error> binary_op(Op op, const Value& a, const Value& b, const State& state);
std::expected<Value, Error> negate(const Value& v);

}  // namespace jinja

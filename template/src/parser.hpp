// Compiles template source into an Ast.
#pragma once

#include <jinja/jinja.hpp>

#include <expected>
#include <string_view>

#include "ast.hpp"

namespace jinja {

// `source` must outlive the Ast: names and text are views into it. Errors carry a line but
// no template name.
std::expected<Ast, Error> parse_template(std::string_view source);

// The 1-based line of a source offset.
std::uint32_t line_of(std::string_view source, std::uint32_t offset);

}  // namespace jinja

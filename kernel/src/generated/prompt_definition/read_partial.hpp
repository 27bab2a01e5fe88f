// Reading the part of a tree that a text reader built before its syntax error.
#pragma once

#include <optional>

#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace quorlen::core::generated::prompt_definition::detail {

// `root` was cut short: nodes without a known end mark were never completed. Returns the
// first record error that the completed part already shows (an invalid type is visible as
// soon as a collection opens), or nullopt when reading reaches the cut without one.
std::optional<RecordError> read_definition_before_cut(const Node& root, Source source);

}  // namespace quorlen::core::generated::prompt_definition::detail

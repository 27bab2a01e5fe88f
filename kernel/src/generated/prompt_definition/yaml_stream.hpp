// YAML text to positioned node trees, one per document. The definition reader wants exactly
// one document; tests and tools want every document of a stream, so the bound is a parameter.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "quorlen/core/generated/prompt_definition/node.hpp"

namespace quorlen::core::generated::prompt_definition {

// Nesting of collections, counting aliased subtrees where they are replayed.
inline constexpr std::size_t kYamlMaxDepth = 128;
// Nodes that alias replay may add to one document; replayed scalar bytes are bounded by the
// larger of the text's own size and kYamlMinReplayBytes, so aliases can at most about double
// what the text itself costs to hold.
inline constexpr std::size_t kYamlMaxReplayedNodes = 100'000;
// Keys and values (aliases count once each) one document may hold, as for JSON and TOML.
inline constexpr std::size_t kYamlMaxNodes = std::size_t{1} << 20;
inline constexpr std::size_t kYamlMinReplayBytes = std::size_t{16} << 20;

// `mark` is unknown (line 0) for failures that concern the stream as a whole.
struct YamlError {
  std::string message;
  Mark mark;
};

inline constexpr std::string_view kYamlTooManyDocuments =
    "deserializing from YAML containing more than one document is not supported";

// Every scalar becomes Kind::Scalar (`plain` for the plain style, `tag` when tagged
// explicitly; the non-specific tag "!" makes a scalar non-plain); collections keep their
// entries in source order, duplicates included. A stream with more than `max_documents`
// documents fails with kYamlTooManyDocuments as soon as the next document starts.
std::expected<std::vector<Node>, YamlError> parse_yaml_stream(std::string_view text,
                                                              std::size_t max_documents);

}  // namespace quorlen::core::generated::prompt_definition

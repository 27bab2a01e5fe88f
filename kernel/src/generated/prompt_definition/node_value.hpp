// What the record reader needs to know about single nodes: their text, their typing under
// the YAML core schema, their JSON value and how a found value is described in messages.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "quorlen/core/generated/prompt_definition/node.hpp"

namespace quorlen::core::generated::prompt_definition::detail {

enum class CoreType { Null, Bool, Int, Float, String };

// The type a plain scalar takes under the YAML 1.2 core schema.
CoreType classify_plain(std::string_view text);

// The node's text where text is expected: a String, or any Scalar taken literally.
inline const std::string* text_of(const Node& node) {
  return node.kind == Node::Kind::String || node.kind == Node::Kind::Scalar ? &node.text : nullptr;
}

// Whether the node's untyped value is a string (a String, a quoted or str-tagged Scalar, or
// a plain Scalar the core schema leaves as a string).
bool is_text_value(const Node& node);

// A Scalar's boolean when it is one of the plain (or bool-tagged) forms.
bool scalar_boolean(const Node& node, bool& out);

// A Scalar that stands for none: plain and empty, `~`, `null`, `Null` or `NULL`, or null-tagged.
bool scalar_is_null(const Node& node);

// The node as a JSON value; on failure the node at fault and the message.
struct NodeFailure {
  std::string message;
  const Node* node;
};
std::expected<json::Value, NodeFailure> to_value(const Node& node);

// "string \"abc\"", "integer `5`", "floating point `1.5`", "boolean `true`", "null",
// "sequence", "map", ...: the found value in "invalid type" messages.
std::string describe(const Node& node);

}  // namespace quorlen::core::generated::prompt_definition::detail

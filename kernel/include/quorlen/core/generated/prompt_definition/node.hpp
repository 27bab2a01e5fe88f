// The positioned node tree that every text reader (JSON, YAML, TOML) produces and that the
// one record reader consumes. It keeps what the record rules need and nothing more:
// scalars with their source typing, entries in source order (duplicates included, so the
// record reader decides between "duplicate field" and later-entry-wins), and positions.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "quorlen/core/json.hpp"

namespace quorlen::core::generated::prompt_definition {

// 1-based line and column; 0 when unknown. `offset` is the byte offset into the text.
struct Mark {
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  std::uint32_t offset = 0;
  bool known() const { return line != 0; }
};

struct Node {
  enum class Kind : std::uint8_t {
    Null,
    Bool,
    Int,       // signed 64-bit
    UInt,      // unsigned 64-bit, for values above INT64_MAX
    Float,
    String,    // a typed string (JSON, TOML) or a quoted YAML scalar
    Scalar,    // an untyped YAML scalar, resolved by context (see `plain`, `tag`)
    DateTime,  // a TOML date/time; `text` holds its RFC 3339 form
    Sequence,
    Mapping,
  };

  Kind kind = Kind::Null;
  bool boolean = false;
  std::int64_t int_value = 0;
  std::uint64_t uint_value = 0;
  double float_value = 0;
  std::string text;   // String, Scalar, DateTime
  bool plain = false; // Scalar: written without quotes or block style
  std::string tag;    // YAML: an explicit tag ("tag:yaml.org,2002:bool", ...), else empty
  std::vector<Node> items;                       // Sequence
  std::vector<std::pair<Node, Node>> entries;    // Mapping, in source order
  Mark mark;  // where the node starts
  Mark end;   // where it ends (closing bracket of a collection); may equal `mark`
};

// YAML 1.2 core-schema resolution of a plain scalar: null, bool, int (decimal, 0o, 0x),
// float (incl. .inf/.nan) or string.
json::Value resolve_core_schema(std::string_view plain_scalar);

// The node as an untyped JSON value (metadata values, a variable's `type` before matching):
// Scalar nodes resolve by the core schema when plain (or by their tag), else are strings;
// mappings become objects with later-entry-wins; DateTime becomes its RFC 3339 string.
// Fails only for a mapping key that is not a scalar text, or a scalar whose text does not
// fit its explicit core tag (`!!int abc`); the message is returned.
std::expected<json::Value, std::string> to_json(const Node& node);

}  // namespace quorlen::core::generated::prompt_definition

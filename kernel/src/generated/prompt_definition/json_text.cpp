// JSON text and JSON values into the node tree, then through the one record reader.
#include <limits>

#include "json_scanner.hpp"
#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace quorlen::core::generated::prompt_definition {

namespace {

using json::detail::Number;
using json::detail::Position;

Mark to_mark(Position at) { return Mark{at.line, at.column, at.offset}; }

struct NodeSink {
  static void scalar(Node& out, Node::Kind kind, Position at) {
    out.kind = kind;
    out.mark = out.end = to_mark(at);
  }
  static void null(Node& out, Position at) { scalar(out, Node::Kind::Null, at); }
  static void boolean(Node& out, bool b, Position at) {
    scalar(out, Node::Kind::Bool, at);
    out.boolean = b;
  }
  static void number(Node& out, const Number& n, Position at) {
    switch (n.kind) {
      case Number::Kind::Negative:
        scalar(out, Node::Kind::Int, at);
        out.int_value = n.negative;
        break;
      case Number::Kind::NonNegative:
        if (n.non_negative <=
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
          scalar(out, Node::Kind::Int, at);
          out.int_value = static_cast<std::int64_t>(n.non_negative);
        } else {
          scalar(out, Node::Kind::UInt, at);
          out.uint_value = n.non_negative;
        }
        break;
      case Number::Kind::Float:
        scalar(out, Node::Kind::Float, at);
        out.float_value = n.floating;
        break;
    }
  }
  static std::string& string(Node& out, Position at) {
    scalar(out, Node::Kind::String, at);
    return out.text;
  }
  static void begin_array(Node& out, Position at) { scalar(out, Node::Kind::Sequence, at); }
  static Node& push(Node& array) { return array.items.emplace_back(); }
  static void begin_object(Node& out, Position at) { scalar(out, Node::Kind::Mapping, at); }
  static Node& entry(Node& object, std::string&& key, Position at) {
    auto& [key_node, value] = object.entries.emplace_back();
    scalar(key_node, Node::Kind::String, at);
    key_node.text = std::move(key);
    return value;
  }
  static void end(Node& collection, Position at) { collection.end = to_mark(at); }
};

std::string positioned(std::string message, Mark at) {
  if (!at.known()) return message;
  return message + " at line " + std::to_string(at.line) + " column " + std::to_string(at.column);
}

// Nesting is bounded as in the text reader: values built in memory may be deeper than any
// text we would accept, and the record reader recurses over the tree.
bool value_to_node(const json::Value& value, Node& out, std::size_t depth) {
  struct Convert {
    Node& out;
    std::size_t depth;
    bool operator()(json::Null) {
      out.kind = Node::Kind::Null;
      return true;
    }
    bool operator()(bool b) {
      out.kind = Node::Kind::Bool;
      out.boolean = b;
      return true;
    }
    bool operator()(std::int64_t i) {
      out.kind = Node::Kind::Int;
      out.int_value = i;
      return true;
    }
    bool operator()(std::uint64_t u) {
      if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return (*this)(static_cast<std::int64_t>(u));
      }
      out.kind = Node::Kind::UInt;
      out.uint_value = u;
      return true;
    }
    bool operator()(double d) {
      out.kind = Node::Kind::Float;
      out.float_value = d;
      return true;
    }
    bool operator()(const std::string& s) {
      out.kind = Node::Kind::String;
      out.text = s;
      return true;
    }
    bool operator()(const json::Array& array) {
      if (depth == json::max_depth) return false;
      out.kind = Node::Kind::Sequence;
      out.items.resize(array.size());
      for (std::size_t i = 0; i < array.size(); ++i) {
        if (!value_to_node(array[i], out.items[i], depth + 1)) return false;
      }
      return true;
    }
    bool operator()(const json::Object& object) {
      if (depth == json::max_depth) return false;
      out.kind = Node::Kind::Mapping;
      out.entries.reserve(object.size());
      for (const auto& [key, item] : object) {
        auto& [key_node, value_node] = out.entries.emplace_back();
        key_node.kind = Node::Kind::String;
        key_node.text = key;
        if (!value_to_node(item, value_node, depth + 1)) return false;
      }
      return true;
    }
  };
  return std::visit(Convert{out, depth}, value.v);
}

}  // namespace

std::expected<PromptDefinition, std::string> read_json_text(std::string_view text) {
  json::detail::Parser<NodeSink, Node> parser(text);
  Node root;
  if (!parser.document(root)) return std::unexpected(parser.take_error().to_string());
  auto definition = read_definition(root, Source::Text);
  if (!definition) {
    return std::unexpected(
        positioned(std::move(definition.error().message), definition.error().mark));
  }
  return std::move(*definition);
}

std::expected<PromptDefinition, std::string> read_json_value(const json::Value& value) {
  Node root;
  if (!value_to_node(value, root, 0)) return std::unexpected("recursion limit exceeded");
  auto definition = read_definition(root, Source::JsonValue);
  if (!definition) return std::unexpected(std::move(definition.error().message));
  return std::move(*definition);
}

}  // namespace quorlen::core::generated::prompt_definition

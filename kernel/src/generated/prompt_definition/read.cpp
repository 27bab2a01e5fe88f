// The one implementation of the record rules; every text reader and the JSON value reader
// hand it a node tree. Values are read as their keys are met, so the first failure reported
// is the first in document order.
#include "quorlen/core/generated/prompt_definition/read.hpp"

#include <array>
#include <bitset>
#include <optional>
#include <span>

#include "generated/prompt_definition/node_value.hpp"

namespace quorlen::core::generated::prompt_definition {

namespace {

using detail::describe;
using detail::text_of;

struct Shape {
  std::string_view name;                     // "struct PromptDefinition"
  std::span<const std::string_view> fields;  // in declaration order
  std::span<const bool> required;
  std::string_view expected;  // the unknown-field expectation
};

constexpr std::array<std::string_view, 7> kDefinitionFields = {
    "body", "metadata", "name", "output_model", "role", "variables", "variants"};
constexpr std::array<bool, 7> kDefinitionRequired = {true, false, true, false, true, false, false};
constexpr Shape kDefinition = {
    "struct PromptDefinition", kDefinitionFields, kDefinitionRequired,
    "one of `body`, `metadata`, `name`, `output_model`, `role`, `variables`, `variants`"};

constexpr std::array<std::string_view, 4> kVariableFields = {"description", "trusted", "type",
                                                             "validation_required"};
constexpr std::array<bool, 4> kVariableRequired = {false, true, true, false};
constexpr Shape kVariable = {"struct PromptVariable", kVariableFields, kVariableRequired,
                             "one of `description`, `trusted`, `type`, `validation_required`"};

constexpr std::array<std::string_view, 2> kVariantFields = {"body", "metadata"};
constexpr std::array<bool, 2> kVariantRequired = {true, false};
constexpr Shape kVariant = {"struct PromptVariant", kVariantFields, kVariantRequired,
                            "`body` or `metadata`"};

constexpr std::array<std::string_view, 6> kTypeNames = {"string",  "integer", "number",
                                                        "boolean", "array",   "object"};

class Reader {
 public:
  explicit Reader(Source source) : source_(source) {}

  RecordError take_error() { return std::move(error_); }

  bool definition(const Node& node, std::optional<PromptDefinition>& out) {
    std::string body;
    json::Object metadata;
    std::optional<PromptDefinitionName> name;
    std::optional<std::string> output_model;
    PromptDefinitionRole role = PromptDefinitionRole::System;
    std::unordered_map<std::string, PromptVariable> variables;
    std::unordered_map<std::string, PromptVariant> variants;
    bool ok = record(node, kDefinition, [&](std::size_t field, const Node& value) {
      switch (field) {
        case 0:
          return text(value, body);
        case 1:
          return object(value, metadata);
        case 2:
          return definition_name(value, name);
        case 3:
          return optional_text(value, output_model);
        case 4:
          return definition_role(value, role);
        case 5:
          return records(value, variables, &Reader::variable);
        default:
          return records(value, variants, &Reader::variant);
      }
    });
    if (!ok) return false;
    out.emplace(PromptDefinition{std::move(body), std::move(metadata), std::move(*name),
                                 std::move(output_model), role, std::move(variables),
                                 std::move(variants)});
    return true;
  }

  bool variable(const Node& node, PromptVariable& out) {
    return record(node, kVariable, [&](std::size_t field, const Node& value) {
      switch (field) {
        case 0:
          return optional_text(value, out.description);
        case 1:
          return boolean(value, out.trusted);
        case 2:
          return variable_type(value, out.type);
        default:
          return boolean(value, out.validation_required);
      }
    });
  }

  bool variant(const Node& node, PromptVariant& out) {
    return record(node, kVariant, [&](std::size_t field, const Node& value) {
      return field == 0 ? text(value, out.body) : object(value, out.metadata);
    });
  }

 private:
  bool fail(std::string message, Mark at) {
    error_ = RecordError{std::move(message), at};
    return false;
  }
  bool invalid_type(const Node& node, std::string_view expected) {
    return fail("invalid type: " + describe(node) + ", expected " + std::string(expected),
                node.mark);
  }
  static std::string invalid_length(std::size_t length, const Shape& shape) {
    return "invalid length " + std::to_string(length) + ", expected " + std::string(shape.name) +
           " with " + std::to_string(shape.fields.size()) + " elements";
  }

  // A record as a map of its fields or as the sequence of its field values; `read_field`
  // reads one field's value given its index in declaration order.
  template <class ReadField>
  bool record(const Node& node, const Shape& shape, ReadField&& read_field) {
    const std::size_t count = shape.fields.size();
    if (node.kind == Node::Kind::Mapping) {
      std::bitset<8> seen;
      for (const auto& [key, value] : node.entries) {
        const std::string* name = text_of(key);
        if (!name) return invalid_type(key, "field identifier");
        std::size_t field = 0;
        while (field < count && shape.fields[field] != *name) ++field;
        if (field == count) {
          return fail("unknown field `" + *name + "`, expected " + std::string(shape.expected),
                      key.mark);
        }
        if (seen[field]) return fail("duplicate field `" + *name + "`", key.mark);
        seen[field] = true;
        if (!read_field(field, value)) return false;
      }
      for (std::size_t field = 0; field < count; ++field) {
        if (shape.required[field] && !seen[field]) {
          return fail("missing field `" + std::string(shape.fields[field]) + "`", node.end);
        }
      }
      return true;
    }
    if (node.kind == Node::Kind::Sequence) {
      const std::size_t length = node.items.size();
      for (std::size_t field = 0; field < length; ++field) {
        if (field == count) return fail(invalid_length(length, shape), node.items[field].mark);
        if (!read_field(field, node.items[field])) return false;
      }
      // Absent trailing optional fields keep their defaults.
      for (std::size_t field = length; field < count; ++field) {
        if (shape.required[field]) return fail(invalid_length(field, shape), node.end);
      }
      return true;
    }
    return invalid_type(node, shape.name);
  }

  bool text(const Node& node, std::string& out) {
    const std::string* found = text_of(node);
    if (!found) return invalid_type(node, "a string");
    out = *found;
    return true;
  }

  bool optional_text(const Node& node, std::optional<std::string>& out) {
    if (node.kind == Node::Kind::Null || detail::scalar_is_null(node)) {
      out.reset();
      return true;
    }
    return text(node, out.emplace());
  }

  bool boolean(const Node& node, bool& out) {
    if (node.kind == Node::Kind::Bool) {
      out = node.boolean;
      return true;
    }
    if (detail::scalar_boolean(node, out)) return true;
    return invalid_type(node, "a boolean");
  }

  bool definition_name(const Node& node, std::optional<PromptDefinitionName>& out) {
    std::string name;
    if (!text(node, name)) return false;
    auto parsed = PromptDefinitionName::parse(std::move(name));
    if (!parsed) return fail(std::move(parsed.error().message), node.mark);
    out.emplace(std::move(*parsed));
    return true;
  }

  bool definition_role(const Node& node, PromptDefinitionRole& out) {
    const std::string* found = text_of(node);
    if (!found) {
      return invalid_type(
          node, source_ == Source::JsonValue ? "string or map" : "enum PromptDefinitionRole");
    }
    for (auto role : {PromptDefinitionRole::System, PromptDefinitionRole::User,
                      PromptDefinitionRole::Assistant}) {
      if (*found == to_string(role)) {
        out = role;
        return true;
      }
    }
    return fail("unknown variant `" + *found + "`, expected one of `system`, `user`, `assistant`",
                node.mark);
  }

  bool object(const Node& node, json::Object& out) {
    if (node.kind != Node::Kind::Mapping) return invalid_type(node, "a map");
    auto value = detail::to_value(node);
    if (!value) return fail(std::move(value.error().message), value.error().node->mark);
    out = std::move(value->as<json::Object>());
    return true;
  }

  template <class Record>
  bool records(const Node& node, std::unordered_map<std::string, Record>& out,
               bool (Reader::*read_record)(const Node&, Record&)) {
    if (node.kind != Node::Kind::Mapping) return invalid_type(node, "a map");
    out.clear();
    out.reserve(node.entries.size());
    for (const auto& [key, value] : node.entries) {
      const std::string* name = text_of(key);
      if (!name) return invalid_type(key, "a string");
      Record record;
      if (!(this->*read_record)(value, record)) return false;
      out.insert_or_assign(*name, std::move(record));  // the later entry wins
    }
    return true;
  }

  // The single form first, then the list form; when neither fits, one message for both.
  bool variable_type(const Node& node, PromptVariableType& out) {
    auto type_index = [](const Node& item, std::size_t names) -> std::optional<std::size_t> {
      if (!detail::is_text_value(item)) return std::nullopt;
      for (std::size_t i = 0; i < names; ++i) {
        if (i < kTypeNames.size() ? item.text == kTypeNames[i] : item.text == "null") return i;
      }
      return std::nullopt;
    };
    if (auto single = type_index(node, kTypeNames.size())) {
      out.form = static_cast<PromptVariableTypeString>(*single);
      return true;
    }
    if (node.kind == Node::Kind::Sequence) {
      std::vector<PromptVariableTypeArrayItem> items;
      items.reserve(node.items.size());
      bool all = true;
      for (const Node& item : node.items) {
        auto index = type_index(item, kTypeNames.size() + 1);
        if (!index) {
          all = false;
          break;
        }
        items.push_back(static_cast<PromptVariableTypeArrayItem>(*index));
      }
      if (all) {
        out.form = std::move(items);
        return true;
      }
    }
    return fail("data did not match any variant of untagged enum PromptVariableType", node.mark);
  }

  Source source_;
  RecordError error_;
};

}  // namespace

std::expected<PromptDefinition, RecordError> read_definition(const Node& root, Source source) {
  Reader reader(source);
  std::optional<PromptDefinition> definition;
  if (!reader.definition(root, definition)) return std::unexpected(reader.take_error());
  return std::move(*definition);
}

}  // namespace quorlen::core::generated::prompt_definition

#include <array>
#include <string_view>
#include <utility>

#include "quorlen/consumer/prompt.hpp"
#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace quorlen::consumer {
namespace {

namespace json = core::json;
namespace pd = core::generated::prompt_definition;

constexpr std::array<std::string_view, 7> kFields = {
    "name", "role", "body", "variables", "variants", "output_model", "metadata"};

// Moves the one field `key` of a freshly read probe definition into the overlay.
void take(PromptOverlay& overlay, std::string_view key, PromptDefinition& read) {
  if (key == "name") {
    overlay.name = std::move(read.name);
  } else if (key == "role") {
    overlay.role = read.role;
  } else if (key == "body") {
    overlay.body = std::move(read.body);
  } else if (key == "variables") {
    overlay.variables = std::move(read.variables);
  } else if (key == "variants") {
    overlay.variants = std::move(read.variants);
  } else if (key == "output_model") {
    overlay.output_model = std::move(*read.output_model);
  } else {
    overlay.metadata = std::move(read.metadata);
  }
}

}  // namespace

std::expected<PromptOverlay, ConsumerError> overlay_from_json(json::Value value) {
  auto* object = value.get_if<json::Object>();
  if (object == nullptr) return std::unexpected(ConsumerError::load("overlay must be a dict"));
  PromptOverlay overlay;
  for (std::string_view key : kFields) {
    auto entry = object->find(std::string(key));
    if (entry == object->end()) continue;
    if (key == "output_model" && entry->second.is_null()) {
      overlay.output_model = ClearOutputModel{};
      continue;
    }
    // The value is read inside an otherwise valid definition, so the record reader applies
    // exactly the rules and messages of that field and nothing else can fail.
    json::Object probe{{"body", ""}, {"name", "overlay"}, {"role", "user"}};
    probe.insert_or_assign(std::string(key), std::move(entry->second));
    auto read = pd::read_json_value(json::Value(std::move(probe)));
    if (!read) {
      return std::unexpected(ConsumerError::load("overlay field `" + std::string(key) +
                                                 "`: " + std::move(read.error())));
    }
    take(overlay, key, *read);
  }
  return overlay;
}

}  // namespace quorlen::consumer

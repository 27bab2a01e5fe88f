#include <utility>

#include "quorlen/consumer/prompt.hpp"
#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace quorlen::consumer {
namespace {

namespace json = core::json;
namespace pd = core::generated::prompt_definition;

bool is_map_field(std::string_view key) {
  return key == "variables" || key == "variants" || key == "metadata";
}

}  // namespace

json::Value to_json(const PromptOverlay& overlay) {
  json::Object out;
  if (overlay.name) out.emplace("name", overlay.name->str());
  if (overlay.role) out.emplace("role", std::string(pd::to_string(*overlay.role)));
  if (overlay.body) out.emplace("body", *overlay.body);
  if (overlay.variables) out.emplace("variables", pd::to_json(*overlay.variables));
  if (overlay.variants) out.emplace("variants", pd::to_json(*overlay.variants));
  if (overlay.output_model) {
    const auto* text = std::get_if<std::string>(&*overlay.output_model);
    out.emplace("output_model", text != nullptr ? json::Value(*text) : json::Value());
  }
  if (overlay.metadata) out.emplace("metadata", *overlay.metadata);
  return out;
}

std::expected<json::Value, ConsumerError> merge_definitions(json::Value base,
                                                            json::Value overlay, bool merge) {
  auto* into = base.get_if<json::Object>();
  if (into == nullptr) {
    return std::unexpected(ConsumerError::load("internal: base is not a JSON object"));
  }
  auto* from = overlay.get_if<json::Object>();
  if (from == nullptr) {
    return std::unexpected(ConsumerError::load("internal: overlay is not a JSON object"));
  }
  for (auto& [key, value] : *from) {
    auto slot = into->find(key);
    if (merge && is_map_field(key) && value.is<json::Object>() &&
        (slot == into->end() || slot->second.is<json::Object>())) {
      if (slot == into->end()) slot = into->emplace(key, json::Object{}).first;
      auto& target = slot->second.as<json::Object>();
      // An entry replaces the base's entry of the same name whole; no deeper merging.
      for (auto& [name, entry] : value.as<json::Object>()) {
        target.insert_or_assign(name, std::move(entry));
      }
    } else {
      into->insert_or_assign(key, std::move(value));
    }
  }
  return base;
}

std::expected<Prompt, ConsumerError> derive_with(const Prompt& base, PromptOverlay overlay,
                                                 MergeStrategy strategy) {
  // Writing a record or an overlay cannot fail, so the only failures left here are a
  // merged value that does not read back and the invariants of construction.
  json::Value overlay_json = to_json(overlay);
  auto merged = merge_definitions(pd::to_json(base.definition()), std::move(overlay_json),
                                  strategy == MergeStrategy::Merge);
  if (!merged) return std::unexpected(std::move(merged.error()));
  auto definition = pd::read_json_value(*merged);
  if (!definition) {
    return std::unexpected(ConsumerError::load(
        "internal: failed to deserialize merged definition: " + definition.error()));
  }
  return Prompt::create(std::move(*definition));
}

}  // namespace quorlen::consumer

// Any bytes through the JSON definition reader and the JSON value parser: no crash, no
// undefined behaviour, and whatever json::parse accepts must write back to text that
// parses to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "quorlen/core/generated/prompt_definition/read.hpp"
#include "quorlen/core/json.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace json = quorlen::core::json;
  namespace pd = quorlen::core::generated::prompt_definition;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (auto definition = pd::read_json_text(text)) {
    // A record read from text reads back equal from its written value.
    auto again = pd::read_json_value(pd::to_json(*definition));
    if (!again || !(*again == *definition)) std::abort();
  }
  if (auto value = json::parse(text)) {
    auto again = json::parse(json::write(*value));
    // NaN cannot arise from JSON text, so equality is exact.
    if (!again || !(*again == *value)) std::abort();
  }
  return 0;
}

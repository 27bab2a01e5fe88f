// Any bytes as YAML: the definition reader and the stream reader must return a value or an
// error, never crash, hang or leak; every document read must convert to JSON or fail cleanly.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "generated/prompt_definition/yaml_stream.hpp"
#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace pd = quorlen::core::generated::prompt_definition;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)pd::read_yaml_text(text);
  if (auto documents = pd::parse_yaml_stream(text, 16)) {
    for (const auto& document : *documents) (void)pd::to_json(document);
  }
  return 0;
}

// Every text reader stops at about a million keys and values, so a large flat document is a
// clear error instead of tens of millions of nodes; a document just under the cap still reads.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "quorlen/core/generated/prompt_definition/read.hpp"
#include "quorlen/core/json.hpp"

namespace pd = quorlen::core::generated::prompt_definition;
namespace json = quorlen::core::json;

namespace {

constexpr std::size_t kCap = std::size_t{1} << 20;
constexpr const char* kTooMany = "too many keys and values";

// A definition whose metadata list holds `items` scalars, in each reader's syntax.
std::string json_doc(std::size_t items) {
  std::string s = R"({"name":"g","role":"user","body":"Hi","metadata":{"xs":[)";
  for (std::size_t i = 0; i < items; ++i) s += i ? ",0" : "0";
  return s + "]}}";
}
std::string yaml_doc(std::size_t items) {
  std::string s = "name: g\nrole: user\nbody: Hi\nmetadata:\n  xs: [";
  for (std::size_t i = 0; i < items; ++i) s += i ? ",0" : "0";
  return s + "]\n";
}
std::string toml_doc(std::size_t items) {
  std::string s = "name = \"g\"\nrole = \"user\"\nbody = \"Hi\"\n[metadata]\nxs = [";
  for (std::size_t i = 0; i < items; ++i) s += i ? ",0" : "0";
  return s + "]\n";
}

struct Reader {
  const char* name;
  std::size_t cap;
  std::function<std::string(std::size_t)> make;
  std::function<std::expected<pd::PromptDefinition, std::string>(std::string_view)> read;
};

TEST(NodeCap, EveryReaderRefusesTooManyKeysAndValues) {
  const std::vector<Reader> readers = {
      {"json", kCap, json_doc, pd::read_json_text},
      {"yaml", kCap, yaml_doc, pd::read_yaml_text},
      {"toml", kCap, toml_doc, pd::read_toml_text},
  };
  for (const auto& r : readers) {
    SCOPED_TRACE(r.name);
    EXPECT_TRUE(r.read(r.make(r.cap - 100)).has_value());
    auto over = r.read(r.make(r.cap));
    ASSERT_FALSE(over.has_value());
    EXPECT_NE(over.error().find(kTooMany), std::string::npos) << over.error();
  }
}

TEST(NodeCap, JsonValuesAreBoundedLikeDefinitions) {
  std::string flat = "[";
  for (std::size_t i = 1; i < kCap; ++i) flat += i > 1 ? ",0" : "0";  // kCap nodes with "[" 
  EXPECT_TRUE(json::parse(flat + "]").has_value());
  auto over = json::parse(flat + ",0]");
  ASSERT_FALSE(over.has_value());
  EXPECT_NE(over.error().message.find(kTooMany), std::string::npos);
  // Keys count as well as values.
  std::string keyed = "{";
  for (std::size_t i = 0; i < kCap / 2 + 1; ++i) keyed += (i ? ",\"" : "\"") + std::to_string(i) + "\":0";
  EXPECT_FALSE(json::parse(keyed + "}").has_value());
}

}  // namespace

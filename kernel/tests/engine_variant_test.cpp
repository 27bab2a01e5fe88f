#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine_test_support.hpp"
#include "quorlen/core/engine.hpp"

namespace quorlen::core {
namespace {

using test::make_definition;

struct VariantCase {
  std::optional<std::string> requested;
  bool with_variants;
  std::optional<std::string> name;  // none: UnknownVariant carrying the requested name
  std::string source;
};

TEST(ResolveVariant, PicksRootBodyOrNamedVariantByExactName) {
  const auto with = make_definition("root {{ a }}\n", {}, {{"formal", "formal body\n"}});
  const auto without = make_definition("root {{ a }}\n");
  const std::vector<VariantCase> cases = {
      {std::nullopt, true, "default", "root {{ a }}\n"},
      {"default", true, "default", "root {{ a }}\n"},
      {"default", false, "default", "root {{ a }}\n"},
      {"formal", true, "formal", "formal body\n"},
      {"Default", true, std::nullopt, ""},
      {"", true, std::nullopt, ""},
      {"", false, std::nullopt, ""},
      {"Formal", true, std::nullopt, ""},
      {"formal", false, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.requested.value_or("<none>"));
    const auto& definition = c.with_variants ? with : without;
    const auto resolved = resolve_variant(definition, c.requested);
    const auto source = get_source(definition, c.requested);
    if (c.name) {
      ASSERT_TRUE(resolved.has_value());
      EXPECT_EQ(resolved->name, *c.name);
      EXPECT_EQ(resolved->source, c.source);
      ASSERT_TRUE(source.has_value());
      EXPECT_EQ(*source, c.source);
    } else {
      ASSERT_FALSE(resolved.has_value());
      EXPECT_EQ(resolved.error().kind, KernelError::Kind::UnknownVariant);
      EXPECT_EQ(resolved.error().text, *c.requested);
      ASSERT_FALSE(source.has_value());
      EXPECT_EQ(source.error().kind, KernelError::Kind::UnknownVariant);
      EXPECT_EQ(source.error().text, *c.requested);
    }
  }
}

TEST(ResolveVariant, DefaultNeverReachesAVariantStoredUnderThatName) {
  const auto definition = make_definition("root", {}, {{"default", "shadow"}});
  const auto resolved = resolve_variant(definition, "default");
  ASSERT_TRUE(resolved.has_value());
  EXPECT_EQ(resolved->source, "root");
}

}  // namespace
}  // namespace quorlen::core

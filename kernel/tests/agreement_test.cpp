#include "quorlen/core/agreement.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.hpp"

namespace quorlen::core {
namespace {

struct RootsCase {
  std::string body;
  std::vector<std::string> roots;
};

TEST(RequiredRoots, ReportsNamesReadWithoutBindingThem) {
  const std::vector<RootsCase> cases = {
      {"Hello {{ name }}!", {"name"}},
      {"{{ user.name }} {{ user['id'] | upper }}", {"user"}},
      {"{% for item in items %}{{ loop.index }}: {{ item }}{% endfor %}", {"items"}},
      {"{% set greeting = 'Hi' %}{{ greeting }}, {{ who }}", {"who"}},
      {"{% set x = x %}{{ x }}", {}},
      {"{% with a = b %}{{ a }}{% endwith %}{{ a }}", {"a", "b"}},
      {"{{ c }}{{ a }}{{ B }}{{ a }}", {"B", "a", "c"}},
      {"{{ range(3) | list }} {{ namespace() }} {{ dict(x=1) }}", {}},
      {"{{ range }}{{ debug }}", {}},
      {"{{ x | default('none') }}", {"x"}},
      {"{{ loop }}", {"loop"}},
      {"{{ self }}", {}},
      {"plain text", {}},
      {"{{ 'literal' }} {{ 1 + 2 }} {{ [1, 2] }}", {}},
      {"{% if a %}{% set b = 1 %}{% endif %}{{ b }}", {"a", "b"}},
      {"{% for k, v in pairs if v > limit %}{{ k }}{% else %}{{ k }}{% endfor %}",
       {"k", "limit", "pairs"}},
      {"{% set t %}{{ inner }}{% endset %}{{ t }}", {"inner"}},
      {"{% filter upper %}{{ shout }}{% endfilter %}", {"shout"}},
      {"{% set ns = namespace(n=0) %}{% set ns.n = total %}{{ ns.n }}", {"total"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const auto agreement = required_roots(test::make_definition(c.body), std::nullopt);
    ASSERT_TRUE(agreement.has_value()) << agreement.error().text;
    EXPECT_EQ(agreement->variant, "default");
    EXPECT_EQ(agreement->roots, c.roots);
  }
}

TEST(RequiredRoots, AnalysesOnlyTheResolvedVariant) {
  const auto definition = test::make_definition(
      "{{ root_only }}", {{"root_only"}, {"user_input", false}},
      {{"brief", "{{ user_input }} {{ extra }}"}});
  const auto agreement = required_roots(definition, "brief");
  ASSERT_TRUE(agreement.has_value()) << agreement.error().text;
  EXPECT_EQ(agreement->variant, "brief");
  EXPECT_EQ(agreement->roots, (std::vector<std::string>{"extra", "user_input"}));

  const auto unknown = required_roots(definition, "Brief");
  ASSERT_FALSE(unknown.has_value());
  EXPECT_EQ(unknown.error().kind, KernelError::Kind::UnknownVariant);
  EXPECT_EQ(unknown.error().text, "Brief");
}

}  // namespace
}  // namespace quorlen::core

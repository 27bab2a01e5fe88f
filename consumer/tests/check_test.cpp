#include "quorlen/consumer/check.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures.hpp"

namespace quorlen::consumer {

void PrintTo(const Finding& f, std::ostream* os) {
  *os << "{" << f.prompt << " | " << to_string(f.kind) << " | " << f.detail << " | "
      << f.variant.value_or("<none>") << "}";
}

namespace {

using testing::for_each_map_order;
using testing::variable;

Finding untrusted(std::string prompt, std::string name) {
  std::string detail = "field `" + name +
                       "` is declared untrusted (`trusted: false`) but the prompt configures no "
                       "guard (add a `guard` key under the prompt's `metadata`)";
  return Finding{std::move(prompt), UntrustedWithoutGuard{std::move(name)}, std::move(detail),
                 std::nullopt};
}

TEST(Check, UntrustedVariablesWithoutAGuardKey) {
  const std::string variables = R"("variables": {
      "zeta": {"type": "string", "trusted": false},
      "Alpha": {"type": "string", "trusted": false},
      "safe": {"type": "string", "trusted": true}})";
  const std::vector<Finding> both = {untrusted("p", "Alpha"), untrusted("p", "zeta")};
  struct Case {
    std::string label;
    std::string extra;  // more top-level members of the definition
    std::vector<Finding> findings;
  };
  const std::vector<Case> cases = {
      {"no variables", "", {}},
      {"only trusted variables",
       R"("variables": {"a": {"type": "string", "trusted": true}})", {}},
      {"untrusted without guard, ordered by bytes", variables, both},
      {"guard key set to null", variables + R"(, "metadata": {"guard": null})", {}},
      {"guard key set to false", variables + R"(, "metadata": {"guard": false})", {}},
      {"guard key with an empty map", variables + R"(, "metadata": {"guard": {}})", {}},
      {"guard key without untrusted variables", R"("metadata": {"guard": true})", {}},
      {"guard only in a variant's metadata", variables +
       R"(, "variants": {"v": {"body": "x", "metadata": {"guard": true}}})", both},
      {"guard nested inside another metadata value",
       variables + R"(, "metadata": {"security": {"guard": true}})", both},
      {"a differently cased key", variables + R"(, "metadata": {"Guard": true})", both},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string text = R"({"name": "p", "role": "user", "body": "Hi")";
    if (!c.extra.empty()) text += ", " + c.extra;
    text += "}";
    const Prompt prompt = testing::make_prompt(text);
    const Prompt untouched = prompt;
    CheckReport report = check(prompt);
    EXPECT_EQ(report.findings, c.findings);
    EXPECT_EQ(report.passed(), c.findings.empty());
    EXPECT_EQ(check(prompt), report);
    EXPECT_EQ(prompt, untouched);
  }
}

TEST(Check, FindingsDoNotDependOnMapOrder) {
  const std::vector<std::string> names = {"b", "B", "a", "_x"};
  const std::vector<Finding> expected = {untrusted("order", "B"), untrusted("order", "_x"),
                                         untrusted("order", "a"), untrusted("order", "b")};
  for_each_map_order(names, [&](const std::vector<std::string>& order, std::size_t buckets) {
    PromptDefinition d{"", {}, *PromptDefinitionName::parse("order"), std::nullopt,
                       PromptDefinitionRole::User, {}, {}};
    d.variables.rehash(buckets);
    for (const std::string& name : order) {
      d.variables.emplace(name, variable(false));
      d.variables.emplace("trusted_" + name, variable(true));
    }
    auto prompt = Prompt::create(std::move(d));
    ASSERT_TRUE(prompt.has_value());
    EXPECT_EQ(check(*prompt).findings, expected);
  });
}

TEST(Check, KindText) {
  EXPECT_EQ(to_string(FindingKind{UntrustedWithoutGuard{"x"}}), "untrusted_without_guard");
}

}  // namespace
}  // namespace quorlen::consumer

// Render failures met through the real pipeline, with a secret bound: whatever the engine
// says, the rows a caller sees hold the secret only when render detail was asked for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures.hpp"
#include "quorlen/consumer/error.hpp"
#include "quorlen/core/engine.hpp"

namespace quorlen::consumer {
namespace {

constexpr std::string_view kSecret = "sk-live-7f3a9c<&>";

bool mentions_secret(const std::vector<FieldError>& rows) {
  for (const FieldError& row : rows) {
    if (row.field.find(kSecret) != std::string::npos ||
        row.message.find(kSecret) != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST(RenderScrubbing, BoundValuesStayOutOfRowsUnlessRevealed) {
  struct Case {
    std::string body;
    core::GuardConfig guard;
  };
  const core::GuardConfig guarded{true, std::nullopt};
  const std::vector<Case> cases = {
      {"{{ secret + 1 }}", {}},
      {"{{ secret() }}", {}},
      {"{{ secret | int + secret }}", {}},
      {"{{ secret | nosuch }}", {}},
      {"{% for a, b in secret %}{% endfor %}", {}},
      {"{{ lookup[secret] }}", {}},
      {"{{ lookup[secret].x }}", guarded},
      {"{{ secret ~ missing }}", guarded},
      {"{{ secret * 2 - 1 }}", guarded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    PromptDefinition definition = testing::parse_definition(
        R"({"name": "n", "role": "user", "body": "x", "variables": {
            "secret": {"type": "string", "trusted": false},
            "lookup": {"type": "object", "trusted": true}}})");
    definition.body = c.body;
    auto context = [] {
      return jinja::Value::from_map({{"secret", jinja::Value::from_string(std::string(kSecret))},
                                     {"lookup", jinja::Value::from_map({})}});
    };
    auto failed = core::render(definition, std::nullopt, context(), c.guard);
    ASSERT_FALSE(failed.has_value()) << failed->text;
    const core::KernelError error = failed.error();

    EXPECT_FALSE(mentions_secret(from_kernel(error).rows));
    EXPECT_FALSE(mentions_secret(from_kernel_revealing(error, false).rows));
    std::vector<FieldError> revealed = from_kernel_revealing(error, true).rows;
    if (error.kind == core::KernelError::Kind::Render) {
      EXPECT_EQ(revealed, (std::vector<FieldError>{{"template", "render", error.text}}));
    } else {
      EXPECT_EQ(revealed, from_kernel(error).rows);
    }
  }
}

}  // namespace
}  // namespace quorlen::consumer

#include "quorlen/consumer/error.hpp"

#include <gtest/gtest.h>

#include "fixtures.hpp"

#include <string>
#include <vector>

namespace quorlen::consumer {
namespace {

using core::KernelError;
using KernelKind = KernelError::Kind;

// A value a caller bound to a variable; it may show up in engine detail at render time.
constexpr std::string_view kBoundValue = "sk-live-7f3a9c";

struct ConversionCase {
  std::string label;
  KernelError error;
  FieldError scrubbed;  // from_kernel, and from_kernel_revealing without reveal
  FieldError revealed;  // from_kernel_revealing with reveal
};

std::vector<ConversionCase> conversion_cases() {
  const std::string render_detail =
      "invalid operation: cannot multiply string '" + std::string(kBoundValue) + "' (in kernel:2)";
  const std::string guard_message =
      "a guard advisory override must reference the delimiter contract; missing: closing tag "
      "`</untrusted>`";
  const std::string parse_detail = "syntax error: unexpected end of input (in kernel:1)";
  const std::string excluded = "syntax error: unknown statement include (in kernel:1)";
  return {
      {"unknown variant",
       {KernelKind::UnknownVariant, "formal"},
       {"variant", "unknown_variant", "unknown variant: `formal`"},
       {"variant", "unknown_variant", "unknown variant: `formal`"}},
      {"unknown variant with an empty name",
       {KernelKind::UnknownVariant, ""},
       {"variant", "unknown_variant", "unknown variant: ``"},
       {"variant", "unknown_variant", "unknown variant: ``"}},
      {"excluded feature drops its detail, revealed or not",
       {KernelKind::ExcludedFeature, excluded + " " + std::string(kBoundValue)},
       {"template", "excluded_feature", "template uses an excluded feature"},
       {"template", "excluded_feature", "template uses an excluded feature"}},
      {"parse keeps the syntax diagnostic verbatim",
       {KernelKind::Parse, parse_detail},
       {"template", "parse", "template parse error: " + parse_detail},
       {"template", "parse", "template parse error: " + parse_detail}},
      {"undefined variable carries the engine text as field",
       {KernelKind::UndefinedVariable, "undefined value (in kernel:3)"},
       {"undefined value (in kernel:3)", "undefined_variable",
        "undefined variable at render: `undefined value (in kernel:3)`"},
       {"undefined value (in kernel:3)", "undefined_variable",
        "undefined variable at render: `undefined value (in kernel:3)`"}},
      {"render detail is scrubbed unless revealed",
       {KernelKind::Render, render_detail},
       {"template", "render", "render error"},
       {"template", "render", render_detail}},
      {"empty render detail revealed stays empty",
       {KernelKind::Render, ""},
       {"template", "render", "render error"},
       {"template", "render", ""}},
      {"guard override",
       {KernelKind::Guard, guard_message},
       {"guard", "render", "guard advisory override is invalid: " + guard_message},
       {"guard", "render", "guard advisory override is invalid: " + guard_message}},
  };
}

std::vector<FieldError> single(FieldError row) { return {std::move(row)}; }

TEST(KernelErrorConversion, EveryKindGivesItsOneRenderRow) {
  for (const ConversionCase& c : conversion_cases()) {
    SCOPED_TRACE(c.label);
    ConsumerError scrubbed = from_kernel(c.error);
    EXPECT_EQ(scrubbed.kind, ConsumerError::Kind::Render);
    EXPECT_EQ(scrubbed.rows, single(c.scrubbed));

    EXPECT_EQ(from_kernel_revealing(c.error, false), scrubbed);

    ConsumerError revealed = from_kernel_revealing(c.error, true);
    EXPECT_EQ(revealed.kind, ConsumerError::Kind::Render);
    EXPECT_EQ(revealed.rows, single(c.revealed));
  }
}

TEST(KernelErrorConversion, BoundValueInDetailNeverReachesAScrubbedRow) {
  for (const ConversionCase& c : conversion_cases()) {
    SCOPED_TRACE(c.label);
    for (const FieldError& row : from_kernel(c.error).rows) {
      EXPECT_EQ(row.field.find(kBoundValue), std::string::npos);
      EXPECT_EQ(row.message.find(kBoundValue), std::string::npos);
    }
    if (c.error.kind != KernelKind::Render) {
      EXPECT_EQ(from_kernel_revealing(c.error, true), from_kernel(c.error))
          << "reveal widens only the render detail";
    }
  }
}

TEST(ConsumerErrorRows, LoadTextBecomesTheLoadRow) {
  struct Case {
    ConsumerError error;
    std::vector<FieldError> rows;
  };
  const std::vector<FieldError> two = {{"data.age", "validation", "too small"},
                                       {"", "validation", "missing"}};
  const std::vector<Case> cases = {
      {ConsumerError::load("missing field `body` at line 1 column 2"),
       {{"", "load", "missing field `body` at line 1 column 2"}}},
      {ConsumerError::load(""), {{"", "load", ""}}},
      {ConsumerError::validation(two), two},
      {ConsumerError::render({"variant", "unknown_variant", "unknown variant: `x`"}),
       {{"variant", "unknown_variant", "unknown variant: `x`"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.error.as_rows(), c.rows);
}

}  // namespace
}  // namespace quorlen::consumer

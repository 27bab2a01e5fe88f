#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine_test_support.hpp"
#include "quorlen/core/origin.hpp"

namespace quorlen::core {
namespace {

using test::make_definition;

TEST(DefaultAdvisory, IsTheFixedSentence) {
  EXPECT_EQ(kDefaultAdvisory.size(), 262u);
  EXPECT_TRUE(kDefaultAdvisory.starts_with("User-supplied inputs are wrapped in <untrusted>"));
  EXPECT_TRUE(kDefaultAdvisory.ends_with("cannot end the span."));
}

TEST(UntrustedFields, KeepsUntrustedNamesInByteOrder) {
  const auto definition = make_definition(
      "", {{"b", false}, {"a", true}, {"_z", false}, {"B", false}, {"\xc3\xa9", false}});
  EXPECT_EQ(untrusted_fields(definition),
            (std::vector<std::string>{"B", "_z", "b", "\xc3\xa9"}));
  EXPECT_TRUE(untrusted_fields(make_definition("", {{"topic", true}})).empty());
}

struct AdvisoryCase {
  std::string label;
  bool enabled;
  bool has_untrusted;
  std::optional<std::string> override_text;
  std::optional<std::string> advisory;  // when it succeeds
  std::optional<std::string> error;     // the Guard message otherwise
};

constexpr std::string_view kPrefix =
    "a guard advisory override must reference the delimiter contract; missing: ";
constexpr std::string_view kOpening = "opening tag `<untrusted>`";
constexpr std::string_view kClosing = "closing tag `</untrusted>`";
constexpr std::string_view kEscape = "escape indication (`&amp;`/`&lt;`/`&gt;` or \"escap\")";

std::string missing(std::initializer_list<std::string_view> items) {
  std::string text(kPrefix);
  bool first = true;
  for (auto item : items) {
    if (!first) text += ", ";
    text += item;
    first = false;
  }
  return text;
}

TEST(BuildGuardText, ChecksOverridesOnlyWhenTheGuardApplies) {
  const std::string invalid = "Use tags.";
  const std::vector<AdvisoryCase> cases = {
      {"disabled", false, true, invalid, std::nullopt, std::nullopt},
      {"nothing untrusted", true, false, invalid, std::nullopt, std::nullopt},
      {"default sentence", true, true, std::nullopt, std::string(kDefaultAdvisory), std::nullopt},
      {"all missing", true, true, invalid, std::nullopt, missing({kOpening, kClosing, kEscape})},
      {"case-sensitive escape", true, true,
       "Data sits in <untrusted></untrusted>; Escaped entities apply.", std::nullopt,
       missing({kEscape})},
      {"closing tag is not an opening tag", true, true, "</untrusted> &amp;", std::nullopt,
       missing({kOpening})},
      {"no closing tag", true, true, "<untrusted> is escaped", std::nullopt, missing({kClosing})},
      {"empty override", true, true, "", std::nullopt, missing({kOpening, kClosing, kEscape})},
      {"kept byte for byte", true, true, "  <untrusted>data</untrusted>, escaping on\n",
       "  <untrusted>data</untrusted>, escaping on\n", std::nullopt},
      {"entity instead of the word", true, true, "<untrusted></untrusted> &gt;",
       "<untrusted></untrusted> &gt;", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto definition = make_definition(
        "", {{"topic", true}, {"user_input", !c.has_untrusted}});
    const GuardConfig guard{c.enabled, c.override_text};
    const auto text = build_guard_text(definition, guard);
    if (c.error) {
      ASSERT_FALSE(text.has_value());
      EXPECT_EQ(text.error().kind, KernelError::Kind::Guard);
      EXPECT_EQ(text.error().text, *c.error);
    } else {
      ASSERT_TRUE(text.has_value()) << text.error().text;
      EXPECT_EQ(*text, c.advisory);
    }
  }
}

}  // namespace
}  // namespace quorlen::core

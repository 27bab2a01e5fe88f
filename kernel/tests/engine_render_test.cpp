#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine_test_support.hpp"
#include "quorlen/core/engine.hpp"
#include "quorlen/core/hashing.hpp"
#include "quorlen/core/origin.hpp"

namespace quorlen::core {
namespace {

using test::make_definition;

jinja::Value context(std::vector<std::pair<std::string, std::string>> texts) {
  std::vector<std::pair<std::string, jinja::Value>> entries;
  for (auto& [name, text] : texts) {
    entries.emplace_back(std::move(name), jinja::Value::from_string(std::move(text)));
  }
  return jinja::Value::from_map(std::move(entries));
}

const GuardConfig kGuarded{true, std::nullopt};

TEST(Render, ReturnsTextWithProvenance) {
  const auto definition = make_definition("Hello {{ name }}!", {{"name"}});
  const auto result = render(definition, std::nullopt, context({{"name", "Ada"}}), {});
  ASSERT_TRUE(result.has_value()) << result.error().text;
  EXPECT_EQ(result->text, "Hello Ada!");
  EXPECT_EQ(result->name, "greeting");
  EXPECT_EQ(result->variant, "default");
  EXPECT_EQ(result->template_hash, sha256_hex("Hello {{ name }}!"));
  EXPECT_EQ(result->render_hash, sha256_hex("Hello Ada!"));
  EXPECT_EQ(result->guard, std::nullopt);
}

TEST(Render, TemplateHashFollowsTheSourceAndRenderHashTheText) {
  const auto definition = make_definition("Hi {{ name }}\n", {{"name", false}},
                                          {{"same", "Hi {{ name }}\n"}, {"other", "Yo {{ name }}"}});
  struct Run {
    std::optional<std::string> variant;
    std::string value;
    GuardConfig guard;
  };
  const std::vector<Run> runs = {
      {std::nullopt, "Ada", {}}, {"default", "Ada", {}}, {"default", "Bob", {}},
      {"same", "Ada", {}},       {std::nullopt, "Ada", kGuarded},
  };
  std::vector<RenderResult> results;
  for (const auto& run : runs) {
    auto result = render(definition, run.variant, context({{"name", run.value}}), run.guard);
    ASSERT_TRUE(result.has_value()) << result.error().text;
    EXPECT_EQ(result->render_hash, sha256_hex(result->text));
    results.push_back(std::move(*result));
  }
  for (const auto& result : results) EXPECT_EQ(result.template_hash, sha256_hex("Hi {{ name }}\n"));
  EXPECT_EQ(results[0].text, results[1].text);
  EXPECT_EQ(results[0].variant, "default");
  EXPECT_EQ(results[1].variant, "default");
  EXPECT_EQ(results[3].variant, "same");
  EXPECT_NE(results[0].render_hash, results[2].render_hash);
  EXPECT_EQ(results[4].text, "Hi <untrusted>Ada</untrusted>");
  EXPECT_EQ(results[4].guard, std::string(kDefaultAdvisory));
}

TEST(Render, DropsExactlyOneTrailingLineEnding) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"x\n", "x"},     {"x\n\n", "x\n"},     {"x\r\n", "x"}, {"x\r", "x"},
      {"x\r\n\r\n", "x\r\n"}, {"x\n\r", "x\n"}, {"x", "x"},     {"", ""},
  };
  for (const auto& [body, text] : cases) {
    SCOPED_TRACE(body);
    const auto result = render(make_definition(body), std::nullopt, context({}), {});
    ASSERT_TRUE(result.has_value()) << result.error().text;
    EXPECT_EQ(result->text, text);
    EXPECT_EQ(result->template_hash, sha256_hex(body));
  }
}

TEST(Render, PrintsMarkupUnescapedWithoutTheGuard) {
  const auto definition = make_definition("{{ v }}", {{"v", false}});
  const auto result = render(definition, std::nullopt, context({{"v", "<b>&</b>"}}), {});
  ASSERT_TRUE(result.has_value()) << result.error().text;
  EXPECT_EQ(result->text, "<b>&</b>");
}

struct GuardCase {
  std::string label;
  std::string body;
  std::string value;
  std::string text;
};

TEST(Render, GuardWrapsAndEscapesUntrustedOutput) {
  const std::vector<GuardCase> cases = {
      {"specials", "{{ user_input }}", "a<b & \"c\">",
       "<untrusted>a&lt;b &amp; \"c\"&gt;</untrusted>"},
      {"closing tag in the data", "[{{ user_input }}]", "</untrusted>",
       "[<untrusted>&lt;/untrusted&gt;</untrusted>]"},
      {"entities are escaped again", "{{ user_input }}", "&lt;", "<untrusted>&amp;lt;</untrusted>"},
      {"filters run first", "{{ user_input | upper }}", "x<y",
       "<untrusted>X&lt;Y</untrusted>"},
      {"trusted stays bare", "{{ topic }}: {{ user_input }}", "v",
       "T: <untrusted>v</untrusted>"},
      {"loop variables are not traced", "{% for c in user_input %}{{ c }}{% endfor %}", "<a",
       "<a"},
      {"unused untrusted variable", "{{ topic }}", "v", "T"},
      {"whitespace control survives", "a  {{- user_input -}}  b", "v",
       "a<untrusted>v</untrusted>b"},
      {"one-sided marker", "a  {{- user_input }}  b", "v", "a<untrusted>v</untrusted>  b"},
  };
  const auto make = [](const std::string& body) {
    return make_definition(body, {{"topic", true}, {"user_input", false}});
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto result =
        render(make(c.body), std::nullopt, context({{"topic", "T"}, {"user_input", c.value}}),
               kGuarded);
    ASSERT_TRUE(result.has_value()) << result.error().text;
    EXPECT_EQ(result->text, c.text);
    EXPECT_EQ(result->guard, std::string(kDefaultAdvisory));
    EXPECT_EQ(result->template_hash, sha256_hex(c.body));
  }
}

TEST(Render, GuardWithoutUntrustedVariablesIsInert) {
  const auto definition = make_definition("{{ topic }}", {{"topic", true}});
  const auto result =
      render(definition, std::nullopt, context({{"topic", "<t>"}}), {true, "Use tags."});
  ASSERT_TRUE(result.has_value()) << result.error().text;
  EXPECT_EQ(result->text, "<t>");
  EXPECT_EQ(result->guard, std::nullopt);
}

TEST(Render, GuardFilterExistsOnlyInAGuardedRender) {
  const std::string body = "{{ topic | quorlen_guard_wrap }}";
  const auto untrusted = make_definition(body, {{"topic", true}, {"user_input", false}});
  const auto trusted = make_definition(body, {{"topic", true}});
  const auto value = context({{"topic", "t"}});
  const auto guarded = render(untrusted, std::nullopt, value, kGuarded);
  ASSERT_TRUE(guarded.has_value()) << guarded.error().text;
  EXPECT_EQ(guarded->text, "<untrusted>t</untrusted>");
  for (const auto& [definition, guard] :
       {std::pair{&untrusted, GuardConfig{}}, std::pair{&trusted, kGuarded}}) {
    const auto result = render(*definition, std::nullopt, value, guard);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, KernelError::Kind::Render);
  }
}

struct StageCase {
  std::string label;
  std::string body;
  std::optional<std::string> variant;
  GuardConfig guard;
  KernelError::Kind kind;
};

TEST(Render, ReportsTheFirstFailingStage) {
  const GuardConfig bad_override{true, "Use tags."};
  const std::vector<StageCase> cases = {
      {"unknown variant before a bad override", "{{ name", "nope", bad_override,
       KernelError::Kind::UnknownVariant},
      {"bad override before compiling", "{{ name", std::nullopt, bad_override,
       KernelError::Kind::Guard},
      {"syntax", "{{ name", std::nullopt, {}, KernelError::Kind::Parse},
      {"excluded statement", "{% include 'x' %}", std::nullopt, {},
       KernelError::Kind::ExcludedFeature},
      {"call block", "{% call x() %}{% endcall %}", std::nullopt, {}, KernelError::Kind::Parse},
      {"break", "{% for x in [1] %}{% break %}{% endfor %}", std::nullopt, {},
       KernelError::Kind::Parse},
      {"missing name", "{{ missing }}", std::nullopt, {}, KernelError::Kind::UndefinedVariable},
      {"missing attribute root", "{{ missing.part }}", std::nullopt, {},
       KernelError::Kind::UndefinedVariable},
      {"missing untrusted name under the guard", "{{ user_input }}", std::nullopt, kGuarded,
       KernelError::Kind::UndefinedVariable},
      {"unknown filter", "{{ name | nosuch }}", std::nullopt, {}, KernelError::Kind::Render},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto definition = make_definition(c.body, {{"name", true}, {"user_input", false}});
    const auto result = render(definition, c.variant, context({{"name", "n"}}), c.guard);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, c.kind) << result.error().text;
  }
}

TEST(GuardWrap, EscapesThePrintedForm) {
  const std::vector<std::pair<jinja::Value, std::string>> cases = {
      {jinja::Value::from_string("<&>"), "<untrusted>&lt;&amp;&gt;</untrusted>"},
      {jinja::Value::from_string("<i>", true), "<untrusted>&lt;i&gt;</untrusted>"},
      {jinja::Value::from_int(-7), "<untrusted>-7</untrusted>"},
      {jinja::Value::from_string(""), "<untrusted></untrusted>"},
      {jinja::Value::from_string("abcdefg&abcdefgh<abcdefgh>"),
       "<untrusted>abcdefg&amp;abcdefgh&lt;abcdefgh&gt;</untrusted>"},
      {jinja::Value::from_string("&&&&&&&&&"),
       "<untrusted>&amp;&amp;&amp;&amp;&amp;&amp;&amp;&amp;&amp;</untrusted>"},
      {jinja::Value::from_string(std::string(100, 'x') + "<"),
       "<untrusted>" + std::string(100, 'x') + "&lt;</untrusted>"},
  };
  for (const auto& [value, text] : cases) {
    const auto wrapped = guard_wrap(value);
    ASSERT_TRUE(wrapped.has_value());
    EXPECT_EQ(jinja::to_output_string(*wrapped), text);
  }
  const auto undefined = guard_wrap(jinja::Value());
  ASSERT_FALSE(undefined.has_value());
  EXPECT_EQ(undefined.error().kind, jinja::ErrorKind::UndefinedError);
}

}  // namespace
}  // namespace quorlen::core

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine_test_support.hpp"
#include "quorlen/core/agreement.hpp"
#include "quorlen/core/engine.hpp"

namespace quorlen::core {
namespace {

using Kind = KernelError::Kind;

struct MapCase {
  jinja::ErrorKind engine_kind;
  std::optional<std::string> detail;
  Kind kind;
  std::string text;
};

TEST(MapEngineError, ClassifiesByKindAndExcludedStatement) {
  const std::vector<MapCase> cases = {
      {jinja::ErrorKind::SyntaxError, "unknown statement include", Kind::ExcludedFeature,
       "syntax error: unknown statement include (in kernel:1)"},
      {jinja::ErrorKind::SyntaxError, "unknown statement Include", Kind::ExcludedFeature,
       "syntax error: unknown statement Include (in kernel:1)"},
      {jinja::ErrorKind::SyntaxError, "unknown statement EXTENDS", Kind::ExcludedFeature,
       "syntax error: unknown statement EXTENDS (in kernel:1)"},
      {jinja::ErrorKind::SyntaxError, "unknown statement fromage", Kind::ExcludedFeature,
       "syntax error: unknown statement fromage (in kernel:1)"},
      {jinja::ErrorKind::SyntaxError, "unknown statement imports", Kind::ExcludedFeature,
       "syntax error: unknown statement imports (in kernel:1)"},
      {jinja::ErrorKind::SyntaxError, "unknown statement blocks", Kind::ExcludedFeature,
       "syntax error: unknown statement blocks (in kernel:1)"},
      {jinja::ErrorKind::SyntaxError, "unknown statement call", Kind::Parse,
       "syntax error: unknown statement call (in kernel:1)"},
      {jinja::ErrorKind::SyntaxError, "unknown statement frm", Kind::Parse,
       "syntax error: unknown statement frm (in kernel:1)"},
      {jinja::ErrorKind::SyntaxError, "unexpected end of input", Kind::Parse,
       "syntax error: unexpected end of input (in kernel:1)"},
      {jinja::ErrorKind::UndefinedError, std::nullopt, Kind::UndefinedVariable,
       "undefined value (in kernel:1)"},
      {jinja::ErrorKind::UndefinedError, "'x' is undefined", Kind::UndefinedVariable,
       "'x' is undefined"},
      {jinja::ErrorKind::UnknownFilter, "filter nosuch is unknown", Kind::Render,
       "unknown filter: filter nosuch is unknown (in kernel:1)"},
      {jinja::ErrorKind::InvalidOperation, "unknown statement include", Kind::Render,
       "invalid operation: unknown statement include (in kernel:1)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto mapped = map_engine_error({c.engine_kind, c.detail, "kernel", 1});
    EXPECT_EQ(mapped.kind, c.kind);
    EXPECT_EQ(mapped.text, c.text);
  }
}

struct CompileCase {
  std::string body;
  Kind kind;
};

// Both construction (through the analysis) and rendering must classify a template alike.
TEST(MapEngineError, ClassifiesRealCompileFailuresAtAnalysisAndRender) {
  const std::vector<CompileCase> cases = {
      {"{% include 'header' %}", Kind::ExcludedFeature},
      {"{% extends 'base' %}", Kind::ExcludedFeature},
      {"{% import 'm' as m %}", Kind::ExcludedFeature},
      {"{% from 'm' import x %}", Kind::ExcludedFeature},
      {"{% macro m() %}{% endmacro %}", Kind::ExcludedFeature},
      {"{% block b %}{% endblock %}", Kind::ExcludedFeature},
      {"{% INCLUDE 'x' %}", Kind::ExcludedFeature},
      {"{% fromage %}", Kind::ExcludedFeature},
      {"{% call m() %}{% endcall %}", Kind::Parse},
      {"{% for x in y %}{% continue %}{% endfor %}", Kind::Parse},
      {"{% for x in y %}{% break %}{% endfor %}", Kind::Parse},
      {"{% frm %}", Kind::Parse},
      {"line one\n{{ name", Kind::Parse},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const auto definition = test::make_definition(c.body, {{"name"}, {"y"}});
    const auto analysed = required_roots(definition, std::nullopt);
    ASSERT_FALSE(analysed.has_value());
    EXPECT_EQ(analysed.error().kind, c.kind) << analysed.error().text;
    EXPECT_NE(analysed.error().text.find("kernel:"), std::string::npos) << analysed.error().text;
    const auto rendered = render(definition, std::nullopt, jinja::Value::from_map({}), {});
    ASSERT_FALSE(rendered.has_value());
    EXPECT_EQ(rendered.error().kind, c.kind);
    EXPECT_EQ(rendered.error().text, analysed.error().text);
  }
}

TEST(MapEngineError, KeepsTheTemplatesLetterCase) {
  const auto definition = test::make_definition("{% Include 'x' %}");
  const auto analysed = required_roots(definition, std::nullopt);
  ASSERT_FALSE(analysed.has_value());
  EXPECT_NE(analysed.error().text.find("unknown statement Include"), std::string::npos)
      << analysed.error().text;
}

TEST(MapEngineError, UndefinedNameCarriesTheEngineTextNotTheName) {
  const auto definition = test::make_definition("a\nb\n{{ secret_name }}");
  const auto rendered = render(definition, std::nullopt, jinja::Value::from_map({}), {});
  ASSERT_FALSE(rendered.has_value());
  EXPECT_EQ(rendered.error().kind, Kind::UndefinedVariable);
  EXPECT_EQ(rendered.error().text, "undefined value (in kernel:3)");
}

}  // namespace
}  // namespace quorlen::core

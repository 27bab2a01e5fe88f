// The error contract: kind, description, optional detail, template name and line.
#include "support.hpp"

namespace jinja::testing {
namespace {

TEST(ErrorText, ComposesDescriptionDetailAndLocation) {
  struct Row {
    Error error;
    std::string_view text;
  };
  const Row rows[] = {
      {{ErrorKind::SyntaxError, "unknown statement include", "kernel", 1},
       "syntax error: unknown statement include (in kernel:1)"},
      {{ErrorKind::UndefinedError, std::nullopt, "kernel", 3}, "undefined value (in kernel:3)"},
      {{ErrorKind::InvalidOperation, "x", std::nullopt, 0}, "invalid operation: x"},
      {{ErrorKind::TooManyArguments, std::nullopt, std::nullopt, 0}, "too many arguments"},
      {{ErrorKind::MissingArgument, std::nullopt, "a", 2}, "missing argument (in a:2)"},
      {{ErrorKind::UnknownFilter, "f", "a", 1}, "unknown filter: f (in a:1)"},
      {{ErrorKind::UnknownTest, "t", "a", 1}, "unknown test: t (in a:1)"},
      {{ErrorKind::UnknownFunction, "g", "a", 1}, "unknown function: g (in a:1)"},
      {{ErrorKind::UnknownMethod, "m", "a", 1}, "unknown method: m (in a:1)"},
      {{ErrorKind::BadEscape, std::nullopt, "a", 1}, "bad string escape (in a:1)"},
      {{ErrorKind::CannotUnpack, std::nullopt, "a", 1}, "cannot unpack (in a:1)"},
      {{ErrorKind::TemplateNotFound, std::nullopt, std::nullopt, 0}, "template not found"},
      {{ErrorKind::LimitExceeded, "output is too long", "kernel", 9},
       "limit exceeded: output is too long (in kernel:9)"},
  };
  for (const Row& row : rows) EXPECT_EQ(row.error.full_text(), row.text);
}

struct Case {
  std::string_view source;
  ErrorKind kind;
  std::uint32_t line;
  friend std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.source; }
};

class Located : public ::testing::TestWithParam<Case> {};

// Errors name the template and the line of the construct that failed.
TEST_P(Located, KindAndLine) {
  auto r = run(GetParam().source);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind, GetParam().kind);
  EXPECT_EQ(r.error().template_name, "t");
  EXPECT_EQ(r.error().line, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Located,
    ::testing::Values(
        Case{"a\nb\n{% if %}", ErrorKind::SyntaxError, 3},
        Case{"{% for x in items %}\n\n{{ x }}\n{% endfor", ErrorKind::SyntaxError, 4},
        Case{"{{ 'multi\nline' }}\n{{ missing }}", ErrorKind::UndefinedError, 3},
        Case{"{% for x in items %}\n{{ x.y.z }}\n{% endfor %}", ErrorKind::UndefinedError, 2},
        Case{"{% if true %}\n\n{{ name|nope }}{% endif %}", ErrorKind::UnknownFilter, 3},
        Case{"\n{{ name is nope }}", ErrorKind::UnknownTest, 2},
        Case{"\n\n{{ nope() }}", ErrorKind::UnknownFunction, 3},
        Case{"{{ name.nope() }}", ErrorKind::UnknownMethod, 1},
        Case{"{{ range(1, 2, 3, 4) }}", ErrorKind::TooManyArguments, 1},
        Case{"{{ range() }}", ErrorKind::MissingArgument, 1},
        Case{"{% set a, b = [1] %}", ErrorKind::CannotUnpack, 1},
        Case{"{{ name + 1 }}", ErrorKind::InvalidOperation, 1},
        Case{"\n{{ range(10000000) }}", ErrorKind::LimitExceeded, 2}));

// A failure at render time yields no partial output, and an undefined failure never carries
// the value or the name that was missing.
TEST(Errors, UndefinedCarriesNoDetail) {
  auto r = run("prefix {{ user.name }} {{ user.secret }}");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind, ErrorKind::UndefinedError);
  EXPECT_FALSE(r.error().detail);
  EXPECT_EQ(r.error().full_text(), "undefined value (in t:1)");
}

}  // namespace
}  // namespace jinja::testing

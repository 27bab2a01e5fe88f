// Syntax: literals, operator precedence, whitespace control, raw blocks, syntax errors.
#include "support.hpp"

namespace jinja::testing {
namespace {

using Case = OutcomeCase;

class Syntax : public ::testing::TestWithParam<Case> {};

TEST_P(Syntax, RendersOrFails) {
  EXPECT_EQ(outcome(GetParam().source), GetParam().expected) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Literals, Syntax,
    ::testing::Values(
        Case{"{{ 42 }}|{{ 1_000 }}|{{ 18446744073709551615 }}", "ok:42|1000|18446744073709551615"},
        Case{"{{ 2.5 }}|{{ 1e3 }}|{{ 1.5e-3 }}|{{ 10.0 }}", "ok:2.5|1000.0|0.0015|10.0"},
        Case{"{{ true }} {{ True }} {{ false }} {{ False }} {{ none }} {{ None }}",
             "ok:True True False False None None"},
        Case{R"({{ 'it\'s' }}|{{ "a\"b" }}|{{ 'tab\there' }}|{{ '\u00e9' }}|{{ '\q' }})",
             "ok:it's|a\"b|tab\there|\xc3\xa9|\\q"},
        Case{"{{ 'a' 'b' \"c\" }}", "ok:abc"},
        Case{"{{ [1, 'a', none] }}|{{ [] }}|{{ [1,] }}", "ok:[1, 'a', None]|[]|[1]"},
        Case{"{{ (1, 2) }}|{{ (1,) }}|{{ () }}|{{ (1) }}", "ok:(1, 2)|(1,)|()|1"},
        Case{"{{ {'b': 1, 'a': [2]} }}|{{ {} }}", "ok:{'a': [2], 'b': 1}|{}"},
        Case{"{{ {'a': {'b': 1}}['a']['b'] }}", "ok:1"},
        Case{"{{ [\"it's\", 'say \"hi\"', 'back\\\\slash'] }}",
             "ok:[\"it's\", 'say \"hi\"', 'back\\\\slash']"}));

INSTANTIATE_TEST_SUITE_P(
    Precedence, Syntax,
    ::testing::Values(
        Case{"{{ 1 + 2 * 3 }}|{{ (1 + 2) * 3 }}|{{ 2 ** 3 ** 2 }}", "ok:7|9|64"},
        Case{"{{ -2 ** 2 }}|{{ -n|string }}", "ok:4|-3"},
        Case{"{{ (1 + 2) ~ 3 * 2 }}|{{ 'a' ~ 1 * 2 }}", "ok:36|a2"},
        Case{"{{ 1 ~ 2 + 3 }}",
             "err:invalid operation: tried to use + operator on unsupported types string and "
             "number (in t:1)"},
        Case{"{{ not 1 == 2 }}|{{ not flag or true }}|{{ 1 and 0 or 5 }}", "ok:True|True|5"},
        Case{"{{ 1 < 2 < 3 }}|{{ 3 > 2 > 1 }}|{{ 1 < 3 < 2 }}", "ok:True|True|False"},
        Case{"{{ 2 in items }}|{{ 5 not in items }}|{{ not 5 in items }}", "ok:True|True|True"},
        Case{"{{ n is none or n is not defined }}|{{ name|upper ~ '!' }}", "ok:False|ADA!"},
        Case{"{{ 'y' if flag else 'n' }}|{{ 'y' if not flag else 'n' if n > 5 else 'm' }}",
             "ok:y|m"},
        Case{"{{ items[1:] }}|{{ items[::-1] }}|{{ name[0] }}|{{ items.0 }}|{{ items[-1] }}",
             "ok:[2, 3]|[3, 2, 1]|A|1|3"},
        Case{"{{ user.name }}|{{ user['id'] }}|{{ user.missing is defined }}", "ok:Bob|7|False"},
        Case{"{{ n is divisibleby 3 }}|{{ n is defined }}|{{ x is not defined }}",
             "ok:True|True|True"}));

INSTANTIATE_TEST_SUITE_P(
    Whitespace, Syntax,
    ::testing::Values(
        Case{"a  {{- name -}}  b", "ok:aAdab"},
        Case{"a\n  {%- if true -%}\n  b\n  {%- endif -%}\n  c", "ok:abc"},
        Case{"a {#- note -#} b {# other #}c", "ok:ab c"},
        Case{"a {%+ if true +%} b {% endif %}", "ok:a  b "},
        Case{"{% if true %}\nx\n{% endif %}\n", "ok:\nx\n"},
        Case{"line\n", "ok:line"},
        Case{"line\n\n", "ok:line\n"},
        Case{"line\r\n", "ok:line"},
        Case{"line\r", "ok:line"},
        Case{"line\n\r", "ok:line\n"},
        Case{"{% raw %}{{ name }}{% if %}{% endraw %}", "ok:{{ name }}{% if %}"},
        Case{"a {%- raw -%}  {{ x }}  {%- endraw -%}  b", "ok:a{{ x }}b"}));

INSTANTIATE_TEST_SUITE_P(
    Errors, Syntax,
    ::testing::Values(
        Case{"{{ name", "err:syntax error: unexpected end of input, expected end of variable block (in t:1)"},
        Case{"{{ name }", "err:syntax error: unexpected `}`, expected end of variable block (in t:1)"},
        Case{"a\nb\n{{ 1 + }}", "err:syntax error: unexpected end of variable block (in t:3)"},
        Case{"{% if x %}", "err:syntax error: unexpected end of input, expected end of block (in t:1)"},
        Case{"{% for x in y %}{% endif %}", "err:syntax error: unknown statement endif (in t:1)"},
        Case{"{% endfor %}", "err:syntax error: unknown statement endfor (in t:1)"},
        Case{"{% 1 %}", "err:syntax error: unexpected `1`, expected statement name (in t:1)"},
        Case{"{# open", "err:syntax error: unexpected end of input, expected end of comment (in t:1)"},
        Case{"{% raw %}x", "err:syntax error: unexpected end of input, expected end of raw block (in t:1)"},
        Case{"{{ 'open }}", "err:syntax error: unexpected end of string (in t:1)"},
        Case{"{{ 99999999999999999999 }}", "err:syntax error: invalid integer (too large) (in t:1)"},
        Case{"{{ '\\u12' }}", "err:syntax error: bad string escape (in t:1)"},
        Case{"{{ f(a=1, 2) }}", "err:syntax error: non-keyword arg after keyword arg (in t:1)"},
        Case{"{% set x.y %}{% endset %}", "err:syntax error: block set needs a plain name (in t:1)"},
        Case{"{{ a @ b }}", "err:syntax error: unexpected character (in t:1)"},
        Case{"{{ \xc3\xa9 }}", "err:undefined value (in t:1)"}));

// Every statement other than the template language's own is unknown, whatever its case.
class UnknownStatement : public ::testing::TestWithParam<std::string_view> {};

TEST_P(UnknownStatement, FailsToCompileNamingIt) {
  Environment env;
  auto r = env.add_template("kernel", "ok\n{% " + std::string(GetParam()) + " 'x' %}{{ y }}");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind, ErrorKind::SyntaxError);
  std::string word(GetParam());
  EXPECT_EQ(r.error().full_text(), "syntax error: unknown statement " + word + " (in kernel:2)");
}

INSTANTIATE_TEST_SUITE_P(All, UnknownStatement,
                         ::testing::Values("include", "extends", "import", "from", "macro",
                                           "block", "call", "break", "continue", "INCLUDE",
                                           "fromage", "endmacro", "elif", "else", "endraw"));

}  // namespace
}  // namespace jinja::testing

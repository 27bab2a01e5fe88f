// The root names a template reads without binding them.
#include "support.hpp"

namespace jinja::testing {
namespace {

struct Case {
  std::string_view source;
  std::vector<std::string> roots;
  friend std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.source; }
};

class Roots : public ::testing::TestWithParam<Case> {};

TEST_P(Roots, AreTheUnboundNamesSorted) {
  Environment env;
  ASSERT_TRUE(env.add_template("kernel", std::string(GetParam().source)));
  EXPECT_EQ((*env.get_template("kernel"))->undeclared_variables(), GetParam().roots);
}

using V = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Expressions, Roots,
    ::testing::Values(
        Case{"Hello {{ name }}!", V{"name"}},
        Case{"{{ user.name }} {{ user['id'] | upper }} {{ user.items() }}", V{"user"}},
        Case{"{{ c }}{{ a }}{{ B }}{{ a }}", V{"B", "a", "c"}},
        Case{"plain text {{ 1 + 2 }} {{ 'x'|upper }} {{ [1, {'k': none}] }}", V{}},
        Case{"{{ a if b else c }} {{ d[e:f:g] }} {{ h(i, k=j) }} {{ l|m(n, o=p) }} {{ q is r(s) }}",
             V{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "l", "n", "p", "q", "s"}},
        Case{"{{ [a, (b, c)] }} {{ {d: e} }} {{ not f and g or -h ~ i }}",
             V{"a", "b", "c", "d", "e", "f", "g", "h", "i"}},
        Case{"{{ x | default('none') }} {{ y is defined }}", V{"x", "y"}},
        Case{"{{ range(3) | list }} {{ namespace() }} {{ dict(x=1) }} {{ debug }}",
             V{"debug", "dict", "namespace", "range"}},
        Case{"{{ self }} {{ loop }}", V{"loop"}},
        Case{"{% raw %}{{ hidden }}{% endraw %}{# {{ also }} #}", V{}}));

INSTANTIATE_TEST_SUITE_P(
    Statements, Roots,
    ::testing::Values(
        Case{"{% for item in items %}{{ loop.index }}: {{ item }}{% endfor %}", V{"items"}},
        Case{"{% for k, v in pairs if v > limit %}{{ k }}{% else %}{{ k }}{{ loop }}{% endfor %}",
             V{"k", "limit", "loop", "pairs"}},
        Case{"{% for x in x %}{{ x }}{% endfor %}", V{"x"}},
        Case{"{% set greeting = 'Hi' %}{{ greeting }}, {{ who }}", V{"who"}},
        Case{"{% set x = x %}{{ x }}", V{}},
        Case{"{{ x }}{% set x = 1 %}{{ x }}", V{"x"}},
        Case{"{% set a, (b, c) = t %}{{ a }}{{ b }}{{ c }}", V{"t"}},
        Case{"{% set ns.attr = value %}{{ ns }}", V{"ns", "value"}},
        Case{"{% if a %}{% set b = 1 %}{{ b }}{% endif %}{{ b }}", V{"a", "b"}},
        Case{"{% if a %}{% set b = 1 %}{% else %}{{ b }}{% endif %}", V{"a", "b"}},
        Case{"{% if a %}x{% elif c %}{% set d = 1 %}{{ d }}{% else %}{{ e }}{% endif %}",
             V{"a", "c", "e"}},
        Case{"{% with a = b %}{{ a }}{% endwith %}{{ a }}", V{"a", "b"}},
        Case{"{% with a = a %}{{ a }}{% endwith %}", V{}},
        Case{"{% set block %}{{ block }}{{ inner }}{% set t = 1 %}{% endset %}{{ block }}{{ t }}",
             V{"inner", "t"}},
        Case{"{% set out | replace(old, 'x') %}{{ body }}{% endset %}", V{"body", "old"}},
        Case{"{% filter replace(a, b) %}{% set c = 1 %}{{ c }}{% endfilter %}{{ c }}",
             V{"a", "b", "c"}},
        Case{"{% autoescape flag %}{% set z = 1 %}{{ z }}{% endautoescape %}{{ z }}",
             V{"flag", "z"}},
        Case{"{% do items.append(value) %}", V{"items", "value"}},
        Case{"{% for a in b recursive %}{{ loop(a.children) }}{% endfor %}", V{"b"}}));

}  // namespace
}  // namespace jinja::testing

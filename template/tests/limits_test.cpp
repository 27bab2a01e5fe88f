// No template and no value may exhaust the stack, memory or time: each bound fails cleanly.
#include "support.hpp"

namespace jinja::testing {
namespace {

std::string repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct Case {
  std::string label;
  std::string source;
  std::string expected;  // "ok:..." or "err:..."
  friend std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.label; }
};

class Limit : public ::testing::TestWithParam<Case> {};

TEST_P(Limit, FailsAsAnEngineError) {
  EXPECT_EQ(outcome(GetParam().source), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Parser, Limit,
    ::testing::Values(
        Case{"parentheses within bound", "{{ " + repeat("(", 60) + "1" + repeat(")", 60) + " }}",
             "ok:1"},
        Case{"parentheses", "{{ " + repeat("(", 5000) + "1" + repeat(")", 5000) + " }}",
             "err:syntax error: template is nested too deeply (in t:1)"},
        Case{"lists", "{{ " + repeat("[", 5000) + " }}",
             "err:syntax error: template is nested too deeply (in t:1)"},
        Case{"negations", "{{ " + repeat("not ", 5000) + "1 }}",
             "err:syntax error: template is nested too deeply (in t:1)"},
        Case{"unary minus", "{{ " + repeat("-", 5000) + "1 }}",
             "err:syntax error: template is nested too deeply (in t:1)"},
        Case{"blocks", repeat("{% if true %}", 5000),
             "err:syntax error: template is nested too deeply (in t:1)"},
        Case{"operator chain", "{{ 1" + repeat(" + 1", 5000) + " }}",
             "err:syntax error: expression is nested too deeply (in t:1)"},
        Case{"filter chain", "{{ 1" + repeat("|string", 5000) + " }}",
             "err:syntax error: expression is nested too deeply (in t:1)"},
        Case{"attribute chain", "{{ a" + repeat(".b", 5000) + " }}",
             "err:syntax error: expression is nested too deeply (in t:1)"}));

INSTANTIATE_TEST_SUITE_P(
    Render, Limit,
    ::testing::Values(
        Case{"endless recursive loop",
             "{% for x in [1] recursive %}{{ loop([1]) }}{% endfor %}",
             "err:limit exceeded: recursion limit exceeded (in t:1)"},
        Case{"range", "{{ range(100001) }}", "err:limit exceeded: range has too many elements (in t:1)"},
        Case{"range of huge span", "{{ range(-9223372036854775807, 9223372036854775807) }}",
             "err:limit exceeded: range has too many elements (in t:1)"},
        Case{"largest range", "{{ range(100000)|length }}", "ok:100000"},
        Case{"string repetition", "{{ 'ab' * 100000000 }}",
             "err:limit exceeded: string repetition is too long (in t:1)"},
        Case{"sequence repetition", "{{ [1, 2] * 10000000 }}",
             "err:limit exceeded: sequence repetition is too long (in t:1)"},
        Case{"doubling a string",
             "{% set ns = namespace(s='xxxxxxxx') %}{% for i in range(40) %}"
             "{% set ns.s = ns.s ~ ns.s %}{% endfor %}",
             "err:limit exceeded: string is too long (in t:1)"},
        Case{"output", "{% for i in range(40000) %}{{ 'x' * 1000 }}{% endfor %}",
             "err:limit exceeded: output is too long (in t:1)"},
        Case{"nesting through a namespace",
             "{% set ns = namespace(v=[]) %}{% for i in range(100000) %}{% set ns.v = [ns.v] %}"
             "{% endfor %}",
             "err:limit exceeded: value is nested too deeply (in t:1)"},
        Case{"nesting through sets", "{% set v = [] %}" + repeat("{% set v = [v] %}", 600),
             "err:limit exceeded: value is nested too deeply (in t:1)"},
        Case{"doubling through sets", "{% set v = [] %}" + repeat("{% set v = [v, v] %}", 60) +
                                          "{{ v == v }}{{ v }}",
             "err:limit exceeded: value is too large (in t:1)"},
        Case{"doubling through a namespace",
             "{% set ns = namespace(v=[1]) %}{% for i in range(64) %}{% set ns.v = [ns.v, ns.v] %}"
             "{% endfor %}",
             "err:limit exceeded: value is too large (in t:1)"},
        Case{"a namespace holding itself", "{% set ns = namespace() %}{% set ns.me = [ns] %}",
             "err:invalid operation: a namespace cannot hold a namespace (in t:1)"},
        Case{"nested loops",
             "{% for i in range(100000) %}{% for j in range(100000) %}{% endfor %}{% endfor %}",
             "err:limit exceeded: too many loop iterations (in t:1)"},
        // The characters of a string are a list like any other.
        Case{"a string as a list", "{{ ('ab' * 600000)|list|length }}",
             "err:limit exceeded: sequence is too long (in t:1)"},
        Case{"a long string read in place", "{% set s = 'é' * 2000000 %}{{ s[1999999] }}{{ s[-2:] }}"
                                            "{{ s[::1000000] }}{{ s|length }}",
             "ok:ééééé2000000"},
        Case{"the most negative step", "{{ 'héllo'[::-9223372036854775807 - 1] }}", "ok:o"},
        // Each step within its own bounds, but repeated by loops until the work adds up.
        Case{"scanning a long string in a loop",
             "{% set s = 'x' * 8000000 %}{% for i in range(100000) %}{% if 'y' in s %}{% endif %}"
             "{% endfor %}",
             "err:limit exceeded: the render does too much work (in t:1)"},
        Case{"indexing a long string in a loop",
             "{% set s = 'é' * 600000 %}{% for i in range(100000) %}{% set c = s[i] %}{% endfor %}",
             "err:limit exceeded: the render does too much work (in t:1)"},
        Case{"copying a long string in a loop",
             "{% set s = 'x' * 8000000 %}{% for i in range(100000) %}{% set t = s ~ 'a' %}"
             "{% endfor %}",
             "err:limit exceeded: the render does too much work (in t:1)"},
        Case{"sorting a long list in a loop",
             "{% set l = range(100000)|list %}{% for i in range(100000) %}{% set t = l|sort %}"
             "{% endfor %}",
             "err:limit exceeded: the render does too much work (in t:1)"},
        Case{"joining a long list in a loop",
             "{% set l = range(100000)|list %}{% for i in range(100000) %}{% set t = l|join %}"
             "{% endfor %}",
             "err:limit exceeded: the render does too much work (in t:1)"},
        // Large but reasonable work stays within the bound.
        Case{"building a string piece by piece",
             "{% set ns = namespace(s='') %}{% for i in range(20000) %}"
             "{% set ns.s = ns.s ~ 'abcdefghij' %}{% endfor %}{{ ns.s|length }}",
             "ok:200000"},
        Case{"a long list walked with its length at hand",
             "{% set l = range(100000)|list %}{% for x in l %}{% if loop.index == l|length %}"
             "{{ x }}{% endif %}{% endfor %}",
             "ok:99999"}));

}  // namespace
}  // namespace jinja::testing

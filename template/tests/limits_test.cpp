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
             "err:limit exceeded: too many loop iterations (in t:1)"}));

}  // namespace
}  // namespace jinja::testing

// Rendering: statements, scoping, the loop object, values and how they print, strict undefined.
#include "support.hpp"

namespace jinja::testing {
namespace {

using Case = OutcomeCase;

class Render : public ::testing::TestWithParam<Case> {};

TEST_P(Render, Outcome) { EXPECT_EQ(outcome(GetParam().source), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Printing, Render,
    ::testing::Values(
        Case{"{{ nothing }}|{{ flag }}|{{ f }}|{{ 4 / 2 }}|{{ big }}", "ok:None|True|2.5|2.0|18446744073709551615"},
        Case{"{{ 1e20 }}|{{ 1e-7 }}|{{ 0.1 + 0.2 }}|{{ -0.0 }}|{{ 1e300 * 1e300 }}",
             "ok:100000000000000000000.0|0.0000001|0.30000000000000004|-0.0|inf"},
        Case{"{{ items }}|{{ user }}|{{ [nothing, flag, 'x', 1.0] }}",
             "ok:[1, 2, 3]|{'id': 7, 'name': 'Bob'}|[None, True, 'x', 1.0]"},
        Case{"{{ html }}|{{ ['<a>', 'it\\'s\\n'] }}", "ok:<b>&</b>|['<a>', \"it's\\n\"]"},
        Case{"{{ namespace(b=2, a=1) }}|{{ dict(b=2, a=1) }}", "ok:{'a': 1, 'b': 2}|{'a': 1, 'b': 2}"},
        Case{"{% for i in items %}{{ loop }}{% endfor %}", "ok:<loop 0/3><loop 1/3><loop 2/3>"}));

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, Render,
    ::testing::Values(
        Case{"{{ 7 // 2 }}|{{ -7 // 2 }}|{{ -7 % 3 }}|{{ 7 % -3 }}|{{ 7 / 2 }}", "ok:3|-4|2|-2|3.5"},
        Case{"{{ 5 // 2.0 }}|{{ -5 % 3.0 }}|{{ 2 ** -1 }}|{{ 2 ** 63 }}|{{ true + 1 }}",
             "ok:2.0|1.0|0.5|9223372036854775808|2"},
        Case{"{{ 9223372036854775807 + 1 }}|{{ big - 1 }}|{{ -9223372036854775807 - 1 }}",
             "ok:9223372036854775808|18446744073709551614|-9223372036854775808"},
        Case{"{{ big + 1 }}", "err:invalid operation: integer overflow (in t:1)"},
        Case{"{{ 2 ** 64 }}", "err:invalid operation: integer overflow (in t:1)"},
        Case{"{{ big ** 2 }}", "err:invalid operation: integer overflow (in t:1)"},
        Case{"{{ big * big }}", "err:invalid operation: integer overflow (in t:1)"},
        Case{"{{ -big * big }}", "err:invalid operation: integer overflow (in t:1)"},
        Case{"{{ (-1) ** 5 }}|{{ 0 ** 0 }}|{{ 1 ** 99999999999 }}", "ok:-1|1|1"},
        Case{"{{ 1 / 0 }}", "err:invalid operation: division by zero (in t:1)"},
        Case{"{{ 1 // 0 }}", "err:invalid operation: division by zero (in t:1)"},
        Case{"{{ 1 % 0.0 }}", "err:invalid operation: division by zero (in t:1)"},
        Case{"{{ 'ab' * 2 }}|{{ 2 * 'ab' }}|{{ [1] * 3 }}|{{ 'x' * -1 }}|{{ [1] + [2] }}",
             "ok:abab|abab|[1, 1, 1]||[1, 2]"},
        Case{"{{ 'a' ~ 1 ~ nothing ~ items }}|{{ 'a' + 'b' }}", "ok:a1None[1, 2, 3]|ab"},
        Case{"{{ 1 + 'a' }}",
             "err:invalid operation: tried to use + operator on unsupported types number and "
             "string (in t:1)"},
        Case{"{{ -name }}", "err:invalid operation (in t:1)"},
        Case{"{{ 1 == 1.0 }}|{{ true == 1 }}|{{ [1, 2] == [1, 2] }}|{{ user == {'id': 7, 'name': 'Bob'} }}",
             "ok:True|True|True|True"},
        Case{"{{ nothing < 1 < 'a' < [] }}|{{ 'B' < 'a' }}|{{ [1, 2] < [1, 3] }}", "ok:True|True|True"},
        Case{"{{ 'da' in name }}|{{ 'id' in user }}|{{ 1 in 'abc' }}", "ok:True|True|False"},
        Case{"{{ 1 in 5 }}", "err:invalid operation: cannot perform a containment check on this value (in t:1)"}));

INSTANTIATE_TEST_SUITE_P(
    Statements, Render,
    ::testing::Values(
        Case{"{% if n > 5 %}a{% elif n > 2 %}b{% elif n > 1 %}c{% else %}d{% endif %}", "ok:b"},
        Case{"{% if empty %}a{% else %}b{% endif %}{% if '' or 0 or nothing %}x{% endif %}", "ok:b"},
        Case{"{% for x in items %}{{ x }}{% else %}none{% endfor %}|{% for x in empty %}{{ x }}{% else %}none{% endfor %}",
             "ok:123|none"},
        Case{"{% for x in items if x is not none and x > 1 %}{{ loop.index }}/{{ loop.length }} {% endfor %}",
             "ok:1/2 2/2 "},
        Case{"{% for k, v in [['a', 1], ('b', 2)] %}{{ k }}={{ v }};{% endfor %}", "ok:a=1;b=2;"},
        Case{"{% for k in user %}{{ k }}:{{ user[k] }} {% endfor %}|{% for c in 'hé' %}[{{ c }}]{% endfor %}",
             "ok:id:7 name:Bob |[h][é]"},
        Case{"{% for a, b in [[1, 2, 3]] %}{% endfor %}",
             "err:cannot unpack: sequence of wrong length (expected 2, got 3) (in t:1)"},
        Case{"{% for a, b in [1] %}{% endfor %}", "err:cannot unpack: value is not iterable (in t:1)"},
        Case{"{% for x in n %}{% endfor %}", "err:invalid operation: value of type number is not iterable (in t:1)"},
        Case{"{% set a = 1 %}{% set b, c = 2, 3 %}{{ a }}{{ b }}{{ c }}", "ok:123"},
        Case{"{% set t %}[{{ name }}]{% endset %}{{ t }}{{ t }}", "ok:[Ada][Ada]"},
        Case{"{% set t | upper %}{{ name }}{% endset %}{{ t }}", "ok:ADA"},
        Case{"{% with a = 1, b = a + 1 %}{{ a }}{{ b }}{% endwith %}", "ok:12"},
        Case{"{% filter upper %}a{{ name }}{% endfilter %}|{% filter lower|upper %}x{% endfilter %}",
             "ok:AADA|X"},
        Case{"{% autoescape true %}{{ html }}{{ html|safe }}{% endautoescape %}{{ html }}",
             "ok:&lt;b&gt;&amp;&lt;&#x2f;b&gt;<b>&</b><b>&</b>"},
        Case{"{% autoescape false %}{{ html }}{% endautoescape %}", "ok:<b>&</b>"},
        Case{"{% set ns = namespace(total=0) %}{% for x in items %}{% set ns.total = ns.total + x %}{% endfor %}{{ ns.total }}",
             "ok:6"},
        Case{"{% set n.x = 1 %}", "err:invalid operation: can only assign to namespaces, not number (in t:1)"},
        Case{"{% do items %}{% do range(3) %}ok", "ok:ok"}));

INSTANTIATE_TEST_SUITE_P(
    Scoping, Render,
    ::testing::Values(
        Case{"{% if true %}{% set a = 1 %}{% endif %}{{ a }}", "ok:1"},
        Case{"{% set x = 5 %}{% for i in items %}{% set x = i %}{% endfor %}{{ x }}", "ok:5"},
        Case{"{% for i in items %}{% if i == 2 %}{{ y }}{% endif %}{% set y = i %}{% endfor %}",
             "err:undefined value (in t:1)"},
        Case{"{% with a = 1 %}{% set b = 2 %}{% endwith %}{{ b }}", "err:undefined value (in t:1)"},
        Case{"{% set name = 'Eve' %}{{ name }}|{% for name in ['Zed'] %}{{ name }}{% endfor %}|{{ name }}",
             "ok:Eve|Zed|Eve"},
        Case{"{% set range = 'mine' %}{{ range }}", "ok:mine"}));

INSTANTIATE_TEST_SUITE_P(
    Loop, Render,
    ::testing::Values(
        Case{"{% for x in items %}{{ loop.index }}{{ loop.index0 }}{{ loop.revindex }}{{ loop.revindex0 }} {% endfor %}",
             "ok:1032 2121 3210 "},
        Case{"{% for x in items %}{{ loop.first }}-{{ loop.last }}-{{ loop.length }} {% endfor %}",
             "ok:True-False-3 False-False-3 False-True-3 "},
        Case{"{% for x in items %}{{ loop.previtem is defined }}{{ loop.nextitem | default('end') }} {% endfor %}",
             "ok:False2 True3 Trueend "},
        Case{"{% for x in items %}{{ loop.cycle('odd', 'even') }} {% endfor %}", "ok:odd even odd "},
        Case{"{% for x in [1, 1, 2, 2, 1] %}{{ loop.changed(x) }} {% endfor %}", "ok:True False True False True "},
        Case{"{% for x in items %}{% for y in items %}{{ loop.depth }}{% endfor %}{{ loop.depth0 }}{% endfor %}",
             "ok:11101110111" "0"},
        Case{"{% for node in [{'n': 'a', 'c': [{'n': 'b', 'c': [{'n': 'c', 'c': []}]}]}, "
             "{'n': 'd', 'c': []}] recursive %}{{ node.n }}{{ loop.depth }}{% if node.c %}"
             "({{ loop(node.c) }}){% endif %}{% endfor %}",
             "ok:a1(b2(c3))d1"},
        Case{"{% for x in items %}{{ loop(x) }}{% endfor %}",
             "err:invalid operation: cannot recurse outside of recursive loop (in t:1)"},
        Case{"{{ loop }}", "err:undefined value (in t:1)"},
        Case{"{% set ns = namespace() %}{% for x in items %}{% set ns.last = loop %}{% endfor %}"
             "{{ ns.last.length }}{{ ns.last.previtem }}{{ ns.last.last }}",
             "ok:32True"},
        Case{"{% for x in items %}{{ loop.nope() }}{% endfor %}",
             "err:unknown method: loop has no method named nope (in t:1)"}));

INSTANTIATE_TEST_SUITE_P(
    Globals, Render,
    ::testing::Values(
        Case{"{{ range(3) }}|{{ range(1, 7, 2) }}|{{ range(5, 1, -2) }}|{{ range(-2) }}",
             "ok:[0, 1, 2]|[1, 3, 5]|[5, 3]|[]"},
        Case{"{{ range(0, 5, 0) }}", "err:invalid operation: cannot create range with step of 0 (in t:1)"},
        Case{"{{ range() }}", "err:missing argument (in t:1)"},
        Case{"{{ range(1, 2, 3, 4) }}", "err:too many arguments (in t:1)"},
        Case{"{{ dict(user, x=1) }}|{{ dict() }}", "ok:{'id': 7, 'name': 'Bob', 'x': 1}|{}"},
        Case{"{% set ns = namespace(user) %}{{ ns.name }}", "ok:Bob"},
        Case{"{{ range }}|{{ nothing() }}", "err:invalid operation: value of type none is not callable (in t:1)"},
        Case{"{{ nope(1) }}", "err:unknown function: nope is unknown (in t:1)"},
        Case{"{% set r = range %}{{ r(2) }}", "ok:[0, 1]"}));

// Under strict undefined every use of a missing value fails without quoting anything; only
// definedness tests and `default` may touch it.
INSTANTIATE_TEST_SUITE_P(
    StrictUndefined, Render,
    ::testing::Values(
        Case{"{{ missing }}", "err:undefined value (in t:1)"},
        Case{"a\n\n{{ user.missing }}", "err:undefined value (in t:3)"},
        Case{"{{ missing.attr }}", "err:undefined value (in t:1)"},
        Case{"{{ missing['k'] }}", "err:undefined value (in t:1)"},
        Case{"{{ items[10] }}", "err:undefined value (in t:1)"},
        Case{"{% if missing %}{% endif %}", "err:undefined value (in t:1)"},
        Case{"{% for x in missing %}{% endfor %}", "err:undefined value (in t:1)"},
        Case{"{{ missing == 1 }}", "err:undefined value (in t:1)"},
        Case{"{{ missing + 1 }}", "err:undefined value (in t:1)"},
        Case{"{{ not missing }}", "err:undefined value (in t:1)"},
        Case{"{{ missing and 1 }}", "err:undefined value (in t:1)"},
        Case{"{{ 1 if missing }}", "err:undefined value (in t:1)"},
        Case{"{{ missing ~ 'x' }}", "err:undefined value (in t:1)"},
        Case{"{{ missing|upper }}", "err:undefined value (in t:1)"},
        Case{"{{ missing() }}", "err:unknown function: missing is unknown (in t:1)"},
        Case{"{{ missing.upper() }}", "err:undefined value (in t:1)"},
        Case{"{{ missing is defined }}|{{ missing is undefined }}|{{ missing|default('d') }}|{{ missing|d }}|",
             "ok:False|True|d||"},
        Case{"{{ user.missing is defined }}|{{ user.missing|default(n) }}|{{ false and missing }}|{{ true or missing }}",
             "ok:False|3|False|True"}));

// User filters take one value and are found before the standard ones.
TEST(UserFilter, ReplacesAndReceivesDefinedValuesOnly) {
  Environment env;
  env.add_filter("wrap", [](const Value& v) -> std::expected<Value, Error> {
    return Value::from_string("<" + to_output_string(v) + ">");
  });
  env.add_filter("upper", [](const Value&) -> std::expected<Value, Error> {
    return Value::from_string("mine");
  });
  ASSERT_TRUE(env.add_template("t", "{{ name|wrap }}{{ name|upper }}"));
  ASSERT_TRUE(env.add_template("known", "{{ 'wrap' is filter }} {{ 'nosuch' is filter }}"));
  EXPECT_EQ(*(*env.get_template("known"))->render(fixture()), "True False");
  ASSERT_TRUE(env.add_template("u", "{{ missing|wrap }}"));
  ASSERT_TRUE(env.add_template("v", "{{ name|wrap(1) }}"));
  EXPECT_EQ(*(*env.get_template("t"))->render(fixture()), "<Ada>mine");
  EXPECT_EQ((*env.get_template("u"))->render(fixture()).error().full_text(),
            "undefined value (in u:1)");
  EXPECT_EQ((*env.get_template("v"))->render(fixture()).error().kind, ErrorKind::TooManyArguments);
}

TEST(Context, AnyMapOrNothing) {
  EXPECT_EQ(outcome("x{{ 1 }}", Value()), "ok:x1");
  EXPECT_EQ(outcome("x", Value::none()), "ok:x");
  EXPECT_EQ(outcome("x", num(1)), "err:invalid operation: the context must be a map (in t:1)");
}

// Maps built from string keys: byte order whatever the input order, the last of equal keys
// wins, and lookups find every key, for short maps and for long ones alike.
TEST(Context, MapsFromStringKeys) {
  using Entries = std::vector<std::pair<std::string, Value>>;
  Entries long_map, long_kept;
  for (int i = 39; i >= 0; --i) {
    std::string key = (i < 10 ? "k0" : "k") + std::to_string(i);
    long_map.emplace_back(key, num(i));
  }
  long_map.emplace_back("k05", num(99));
  std::string long_printed = "{";
  for (int i = 0; i < 40; ++i) {
    long_printed += std::string(i ? ", " : "") + "'" + (i < 10 ? "k0" : "k") + std::to_string(i) +
                    "': " + (i == 5 ? "99" : std::to_string(i));
  }
  long_printed += "}";
  struct MapCase {
    Entries entries;
    std::string expected;
  };
  const std::vector<MapCase> cases = {
      {{{"b", num(1)}, {"a", num(2)}, {"c", num(3)}}, "ok:{'a': 2, 'b': 1, 'c': 3}|1"},
      {{{"k", num(1)}, {"a", num(0)}, {"b", num(4)}, {"k", num(2)}}, "ok:{'a': 0, 'b': 4, 'k': 2}|4"},
      {{{"\xc3\xa9", num(1)}, {"z", num(2)}, {"b", num(5)}, {"Z", num(4)}, {"zz", num(3)}},
       "ok:{'Z': 4, 'b': 5, 'z': 2, 'zz': 3, '\xc3\xa9': 1}|5"},
      {long_map, "ok:" + long_printed + "|k05=99"},
  };
  for (const auto& c : cases) {
    Value m = Value::from_map(c.entries);
    const bool is_long = c.entries.size() > 32;
    const std::string source = is_long ? "{{ m }}|k05={{ m.k05 }}" : "{{ m }}|{{ m.b }}";
    EXPECT_EQ(outcome(source, Value::from_map({{"m", m}})), c.expected) << c.expected;
  }
}

TEST(Environment, TemplatesByNameAndGlobals) {
  Environment env;
  EXPECT_EQ(env.get_template("kernel").error().kind, ErrorKind::TemplateNotFound);
  ASSERT_TRUE(env.add_template("kernel", "a"));
  ASSERT_TRUE(env.add_template("kernel", "b"));
  EXPECT_EQ(*(*env.get_template("kernel"))->render(Value()), "b");
  EXPECT_EQ(env.global_names(), (std::vector<std::string>{"debug", "dict", "namespace", "range"}));
}

}  // namespace
}  // namespace jinja::testing

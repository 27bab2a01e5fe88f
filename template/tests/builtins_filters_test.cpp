// The filters: each row renders a template against the shared fixture and states the outcome.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.hpp"

namespace jinja {
namespace {

using testing::outcome;

struct Case {
  const char* source;
  const char* expected;  // "ok:OUTPUT" or "err:FULL TEXT"
};

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(outcome(c.source), c.expected) << c.source;
}

TEST(TextFilters, CaseMappingIsFullUnicode) {
  check({
      {"{{ 'straße ǆ'|upper }}", "ok:STRASSE Ǆ"},
      {"{{ 'İSTANBUL ÄÖ'|lower }}", "ok:i̇stanbul äö"},
      {"{{ 'ß and ǆx'|capitalize }}", "ok:Ss and ǆx"},
      {"{{ 'ǆx'|capitalize }}", "ok:ǅx"},
      {"{{ 'hELLO wORLD'|capitalize }}", "ok:Hello world"},
      {"{{ ''|capitalize }}{{ ''|title }}", "ok:"},
      {"{{ 5|upper }}", "ok:5"},
  });
}

TEST(TextFilters, TitleStartsWordsAfterSpaceDashAndOpeningBrackets) {
  check({
      {"{{ \"they're bill's 1st-class (good) [x] {y} <z> a_b a.b\"|title }}",
       "ok:They're Bill's 1st-Class (Good) [X] {Y} <Z> A_b A.b"},
      {"{{ 'MIXED\tcase\u00a0words'|title }}", "ok:Mixed\tCase\u00a0Words"},
  });
}

TEST(TextFilters, ReplaceCountsAndEmptyPattern) {
  check({
      {"{{ 'aaa'|replace('a', 'b') }}|{{ 'aaa'|replace('a', 'b', 2) }}", "ok:bbb|bba"},
      {"{{ 'aaa'|replace('a', 'b', 0) }}|{{ 'aaa'|replace('a', 'b', -1) }}", "ok:aaa|bbb"},
      {"{{ 'aXbXc'|replace('X', '-', count=1) }}", "ok:a-bXc"},
      {"{{ 'ab'|replace('', '.') }}|{{ 'ab'|replace('', '.', 2) }}", "ok:.a.b.|.a.b"},
      {"{{ 'éa'|replace('', '|') }}", "ok:|é|a|"},
      {"{{ nothing|replace('o', '0') }}", "ok:N0ne"},
      {"{{ 'abc'|replace('b') }}", "err:missing argument (in t:1)"},
  });
}

TEST(TextFilters, TrimSplitLines) {
  check({
      {"[{{ ' \t x \n'|trim }}]|[{{ 'xxaxx'|trim('x') }}]|[{{ 'abcba'|trim('ab') }}]", "ok:[x]|[a]|[c]"},
      {"{{ 'a b  c'|split }}|{{ ' a b '|split(none, 1) }}|{{ ''|split }}", "ok:['a', 'b', 'c']|['a', 'b ']|[]"},
      {"{{ 'a,b,,c'|split(',') }}|{{ 'a,b,c'|split(',', 1) }}|{{ ''|split(',') }}", "ok:['a', 'b', '', 'c']|['a', 'b,c']|['']"},
      {"{{ 'abc'|split('') }}|{{ 'a b'|split(' ', 0) }}", "ok:['', 'a', 'b', 'c', '']|['a b']"},
      {"{{ 5|split }}", "err:invalid operation: cannot split a value of type number (in t:1)"},
      {"{{ 'a\\r\\nb\\rc\\n'|lines }}|{{ ''|lines }}|{{ '\\n'|lines }}", "ok:['a', 'b\\rc']|[]|['']"},
  });
}

TEST(TextFilters, IndentKeepsLineEndingsAndSkipsBlankLines) {
  check({
      {"{{ 'a\\nb'|indent }}", "ok:a\n    b"},
      {"{{ 'a\\n\\nb\\n'|indent(2) }}", "ok:a\n\n  b\n"},
      {"{{ 'a\\n\\nb'|indent(2, true, true) }}", "ok:  a\n  \n  b"},
      {"{{ 'a\\nb'|indent(width='> ', first=true) }}", "ok:> a\n> b"},
      {"{{ 'a\\r\\nb'|indent(1) }}", "ok:a\r\n b"},
      {"{{ 'a\\nb'|indent(-1) }}", "err:invalid operation: indent width cannot be negative (in t:1)"},
  });
}

TEST(TextFilters, PrintfFormat) {
  check({
      {"{{ '%s is %d'|format(name, n) }}", "ok:Ada is 3"},
      {"{{ '%5s|%-5s|%05d|%+d|% d|%x|%#X|%o'|format('a', 'b', 42, 5, 5, 255, 255, 8) }}",
       "ok:    a|b    |00042|+5| 5|ff|0XFF|10"},
      {"{{ '%.2f|%e|%g|%G|%%|%c%c'|format(3.14159, 12345.678, 0.00001, 1e20, 65, 'é') }}",
       "ok:3.14|1.234568e+04|1e-05|1E+20|%|Aé"},
      {"{{ '%.3s|%5.1f%%'|format('abcdef', 99.44) }}", "ok:abc| 99.4%"},
      {"{{ '%(a)s-%(b)d'|format(a='x', b=2) }}|{{ '%(name)s'|format(user) }}", "ok:x-2|Bob"},
      {"{{ '%s %s'|format(1) }}", "err:invalid operation: not enough arguments for format string (in t:1)"},
      {"{{ '%d'|format('x') }}", "err:invalid operation: %d requires a number, not string (in t:1)"},
      {"{{ '%s'|format(missing) }}", "err:undefined value (in t:1)"},
      {"{{ 5|format }}", "err:invalid operation: format needs a string to format, not number (in t:1)"},
  });
}

TEST(TextFilters, PprintIndentsContainersFourSpaces) {
  check({
      {"{{ [1, (2, 3), {'k': ['x']}, []]|pprint }}",
       "ok:[\n    1,\n    (2, 3),\n    {\n        'k': [\n            'x',\n        ],\n    },\n    [],\n]"},
      {"{{ \"it's\"|pprint }}|{{ nothing|pprint }}|{{ {}|pprint }}", "ok:\"it's\"|None|{}"},
      {"{% set ns = namespace(x=[]) %}{% for i in range(300) %}{% set ns.x = [ns.x] %}{% endfor %}"
       "{{ ns.x|pprint }}",
       "err:limit exceeded: value is nested too deeply (in t:1)"},
  });
}

TEST(SequenceFilters, OrderingIsStableAndCaseInsensitiveByDefault) {
  Value ctx = Value::from_map({
      {"w", Value::from_seq({testing::str("b"), testing::str("A"), testing::str("a"), testing::str("B")})},
      {"u", Value::from_seq({testing::str("t"), testing::str("ß"), testing::str("s")})},
      {"people", Value::from_seq({
                     Value::from_map({{"n", testing::str("x")}, {"age", testing::num(3)}}),
                     Value::from_map({{"n", testing::str("y")}, {"age", testing::num(1)}}),
                     Value::from_map({{"n", testing::str("z")}, {"age", testing::num(3)}}),
                 })},
  });
  struct Row {
    const char* source;
    const char* expected;
  };
  for (const Row& r : std::vector<Row>{
           {"{{ w|sort }}", "ok:['A', 'a', 'b', 'B']"},
           {"{{ w|sort(case_sensitive=true) }}", "ok:['A', 'B', 'a', 'b']"},
           {"{{ w|sort(reverse=true) }}", "ok:['b', 'B', 'A', 'a']"},
           {"{{ u|sort }}", "ok:['s', 'ß', 't']"},
           {"{{ people|sort(attribute='age')|map(attribute='n')|join }}", "ok:yxz"},
           {"{{ people|sort(attribute='age,n', reverse=true)|map(attribute='n')|join }}", "ok:zxy"},
           {"{{ w|min }}|{{ w|max }}|{{ w|min(case_sensitive=true) }}", "ok:A|b|A"},
           {"{{ (people|max(attribute='age')).n }}", "ok:x"},
           {"{{ w|unique }}|{{ w|unique(case_sensitive=true) }}", "ok:['b', 'A']|['b', 'A', 'a', 'B']"},
           {"{{ [3, 3.0, true, 1]|unique }}", "ok:[3, True]"},
           {"{{ [none, 'a', 1, [0]]|sort }}", "ok:[None, 1, 'a', [0]]"},
       }) {
    EXPECT_EQ(outcome(r.source, ctx), r.expected) << r.source;
  }
}

TEST(SequenceFilters, ShapeChanging) {
  check({
      {"{{ items|batch(2) }}|{{ items|batch(2, 0) }}|{{ 'abc'|batch(2) }}", "ok:[[1, 2], [3]]|[[1, 2], [3, 0]]|[['a', 'b'], ['c']]"},
      {"{{ [1, 2, 3, 4, 5, 6, 7]|slice(3) }}", "ok:[[1, 2, 3], [4, 5], [6, 7]]"},
      {"{{ [1, 2]|slice(4, 'x') }}|{{ empty|slice(2) }}", "ok:[[1], [2], ['x'], ['x']]|[[], []]"},
      {"{{ items|batch(0) }}", "err:invalid operation: batch size cannot be 0 (in t:1)"},
      {"{{ items|slice(100000000) }}", "err:limit exceeded: sequence is too long (in t:1)"},
      {"{{ items|batch(100000000, 0) }}", "err:limit exceeded: sequence is too long (in t:1)"},
      {"{{ items|zip('ab') }}|{{ items|zip }}", "ok:[(1, 'a'), (2, 'b')]|[(1,), (2,), (3,)]"},
      {"{{ items|chain([4], 'x')|list }}|{{ user|chain({'id': 8}) }}", "ok:[1, 2, 3, 4, 'x']|{'id': 8, 'name': 'Bob'}"},
      {"{{ items|reverse }}|{{ 'aé'|reverse }}|{{ user|reverse }}", "ok:[3, 2, 1]|éa|['name', 'id']"},
      {"{{ 'aé'|first }}{{ 'aé'|last }}|{{ user|first }}|{{ items|last }}", "ok:aé|id|3"},
      {"{{ empty|first }}", "err:undefined value (in t:1)"},
      {"{{ n|first }}", "err:invalid operation: cannot get first item from value of type number (in t:1)"},
  });
}

TEST(SequenceFilters, JoinSumAndMaps) {
  check({
      {"{{ items|join }}|{{ items|join(', ') }}|{{ 'abc'|join('-') }}|{{ user|join(',') }}", "ok:123|1, 2, 3|a-b-c|id,name"},
      {"{{ [user, user]|join('/', attribute='name') }}", "ok:Bob/Bob"},
      {"{{ [1, missing]|join }}", "err:undefined value (in t:1)"},
      {"{% autoescape true %}{{ ['<a>', html|safe]|join('&') }}{% endautoescape %}", "ok:&lt;a&gt;&amp;<b>&</b>"},
      {"{{ items|sum }}|{{ [1.5, 2]|sum }}|{{ [true, true]|sum }}|{{ items|sum(start=10) }}", "ok:6|3.5|2|16"},
      {"{{ [[1], [2]]|sum(start=[]) }}|{{ [user]|sum(attribute='id') }}", "ok:[1, 2]|7"},
      {"{{ ['a']|sum }}", "err:invalid operation: can only sum numbers, got string (in t:1)"},
      {"{{ [big, 1]|sum }}", "err:invalid operation: integer overflow (in t:1)"},
      {"{{ user|dictsort }}|{{ user|dictsort(by='value', reverse=true) }}", "ok:[('id', 7), ('name', 'Bob')]|[('name', 'Bob'), ('id', 7)]"},
      {"{{ user|dictsort(by='size') }}", "err:invalid operation: dictsort can only sort by 'key' or 'value' (in t:1)"},
      {"{{ user|items }}|{{ items|list }}|{{ user|list }}|{{ 'ab'|list }}|{{ nothing|list }}", "ok:[('id', 7), ('name', 'Bob')]|[1, 2, 3]|['id', 'name']|['a', 'b']|[]"},
      {"{{ items|items }}", "err:invalid operation: items needs a map, not sequence (in t:1)"},
      {"{{ user|length }}|{{ 'aé'|length }}|{{ missing|length }}", "ok:2|2|0"},
  });
}

TEST(SelectFilters, TestsFiltersAndAttributes) {
  check({
      {"{{ items|select('odd') }}|{{ items|reject('odd') }}|{{ [0, 1, '', 'x', none]|select }}", "ok:[1, 3]|[2]|[1, 'x']"},
      {"{{ items|select('>', 1) }}|{{ items|select('in', [1, 3]) }}|{{ items|select('divisibleby', 3) }}", "ok:[2, 3]|[1, 3]|[3]"},
      {"{{ [user, {}]|selectattr('name')|length }}|{{ [user, {}]|rejectattr('name')|length }}", "ok:1|1"},
      {"{{ [user]|selectattr('id', 'equalto', 7)|length }}|{{ [tree]|selectattr('1.1.0', 'odd')|length }}", "ok:1|1"},
      {"{{ items|select('nosuch') }}", "err:unknown test: test nosuch is unknown (in t:1)"},
      {"{{ words|map('upper')|join }}|{{ ['a', 'b']|map('replace', 'a', 'x')|join }}", "ok:BAC|xb"},
      {"{{ [user, {}]|map(attribute='name', default='?')|join }}|{{ [[1, 2]]|map(attribute=1)|join }}", "ok:Bob?|2"},
      {"{{ items|map }}", "err:missing argument: map needs a filter name or an attribute (in t:1)"},
      {"{{ user|attr('name') }}|{{ user|attr('zz') is defined }}|{{ items|attr('0') is defined }}", "ok:Bob|False|False"},
  });
}

TEST(SelectFilters, GroupbyGroupsAreNamedPairs) {
  Value ctx = Value::from_map({
      {"rows", Value::from_seq({
                   Value::from_map({{"c", testing::str("b")}, {"v", testing::num(1)}}),
                   Value::from_map({{"c", testing::str("A")}, {"v", testing::num(2)}}),
                   Value::from_map({{"c", testing::str("B")}, {"v", testing::num(3)}}),
                   Value::from_map({{"v", testing::num(4)}}),
               })},
  });
  struct Row {
    const char* source;
    const char* expected;
  };
  for (const Row& r : std::vector<Row>{
           {"{% for g in rows|groupby('c', default='-') %}{{ g.grouper }}:{{ g.list|map(attribute='v')|join }};{% endfor %}",
            "ok:-:4;A:2;b:13;"},
           {"{% for k, vs in rows|groupby('c', case_sensitive=true) %}{{ k|d('?') }}{{ vs|length }} {% endfor %}",
            "ok:?1 A1 B1 b1 "},
           {"{% for g in rows|groupby('c') %}{{ g.grouper }}{% endfor %}", "err:undefined value (in t:1)"},
           {"{{ (rows|groupby('v'))[0] }}|{{ (rows|groupby('v'))[0]|length }}", "ok:(1, [{'c': 'b', 'v': 1}])|2"},
           {"{{ rows|groupby }}", "err:missing argument (in t:1)"},
       }) {
    EXPECT_EQ(outcome(r.source, ctx), r.expected) << r.source;
  }
}

TEST(NumberFilters, RoundingAndConversions) {
  check({
      {"{{ 0.5|round }}|{{ 1.5|round }}|{{ 2.5|round }}|{{ -0.5|round }}|{{ 2.675|round(2) }}|{{ 1.25|round(1) }}", "ok:0.0|2.0|2.0|-0.0|2.67|1.2"},
      {"{{ 3.7|round(0, 'floor') }}|{{ 3.2|round(0, 'ceil') }}|{{ 1234.5|round(-2) }}|{{ 1250|round(-2) }}|{{ 1350|round(-2) }}|{{ 3|round(2) }}", "ok:3.0|4.0|1200.0|1200|1400|3"},
      {"{{ 2.5|round(0, 'up') }}", "err:invalid operation: method must be common, ceil or floor (in t:1)"},
      {"{{ flag|round }}", "err:invalid operation: cannot round a value of type bool (in t:1)"},
      {"{{ -3|abs }}|{{ -2.5|abs }}|{{ (-9223372036854775807 - 1)|abs }}", "ok:3|2.5|9223372036854775808"},
      {"{{ '42'|int }}|{{ '-4.9'|int }}|{{ '1e3'|int }}|{{ -4.7|int }}|{{ flag|int }}|{{ nothing|int }}|{{ nothing|int(5) }}", "ok:42|-4|1000|-4|1|0|5"},
      {"{{ '0x1A'|int(base=16) }}|{{ '101'|int(0, 2) }}|{{ 'x'|int(7) }}|{{ big|int }}", "ok:26|5|7|18446744073709551615"},
      {"{{ 'x'|int }}", "err:invalid operation: cannot convert the string to an integer (in t:1)"},
      {"{{ 1e30|int }}", "err:invalid operation: integer is out of range (in t:1)"},
      {"{{ 'nan'|float|int }}", "err:invalid operation: cannot convert an infinite or NaN float to an integer (in t:1)"},
      {"{{ '4.5'|float }}|{{ n|float }}|{{ '+1e3'|float }}|{{ 'x'|float(1.5) }}|{{ 'inf'|float }}", "ok:4.5|3.0|1000.0|1.5|inf"},
      {"{{ items|float }}", "err:invalid operation: cannot convert sequence to a float (in t:1)"},
      {"{{ 0|bool }}|{{ 'x'|bool }}|{{ empty|bool }}|{{ nothing|bool }}", "ok:False|True|False|False"},
  });
}

TEST(Filters, UndefinedOperandsFailExceptForDefault) {
  for (const char* filter : {"upper", "lower", "title", "capitalize", "trim", "first", "last",
                             "min", "max", "sort", "list", "string", "bool", "reverse", "unique",
                             "sum", "abs", "int", "float", "round", "escape", "safe", "pprint",
                             "items", "dictsort", "lines", "split", "join", "indent", "batch(2)",
                             "slice(2)", "select", "map('upper')", "groupby('a')", "attr('a')",
                             "chain([1])", "zip([1])", "format", "replace('a', 'b')"}) {
    std::string source = std::string("{{ missing|") + filter + " }}";
    EXPECT_EQ(outcome(source), "err:undefined value (in t:1)") << source;
  }
  check({
      {"{{ missing|default('d') }}|{{ missing|d }}|{{ nothing|default('d') }}|{{ ''|d('e', true) }}|{{ 0|default('z', boolean=true) }}", "ok:d||None|e|z"},
      {"{{ missing|default(other) }}", "err:undefined value (in t:1)"},
  });
}

TEST(Filters, SafeMarkerSurvivesOnlyWhereTheTextIsUnchangedInKind) {
  check({
      {"{{ html|safe is safe }}|{{ html|e is escaped }}|{{ html|safe|upper is safe }}|{{ html|safe|title is safe }}", "ok:True|True|True|False"},
      {"{{ html|e }}|{{ html|safe|e }}|{{ '\"/\\''|e }}", "ok:&lt;b&gt;&amp;&lt;&#x2f;b&gt;|<b>&</b>|&quot;&#x2f;&#x27;"},
      {"{% autoescape true %}{{ html|safe|replace('b', '<i>') }}|{{ html|replace('b', 'i') }}{% endautoescape %}", "ok:<&lt;i&gt;>&</&lt;i&gt;>|&lt;i&gt;&amp;&lt;&#x2f;i&gt;"},
  });
}

}  // namespace
}  // namespace jinja

// The tests (`value is name`), and the Python methods on strings, maps and sequences.
#include <gtest/gtest.h>

#include <vector>

#include "support.hpp"

namespace jinja {
namespace {

using testing::outcome;

struct Case {
  const char* source;
  const char* expected;
};

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(outcome(c.source), c.expected) << c.source;
}

TEST(Tests, KindTests) {
  check({
      {"{{ flag is boolean }}{{ 1 is boolean }}{{ nothing is none }}{{ missing is none }}", "ok:TrueFalseTrueFalse"},
      {"{{ 1 is number }}{{ f is number }}{{ flag is number }}{{ '1' is number }}", "ok:TrueTrueTrueFalse"},
      {"{{ 1 is integer }}{{ big is int }}{{ 1.0 is integer }}{{ flag is integer }}{{ f is float }}{{ 1 is float }}", "ok:TrueTrueFalseFalseTrueFalse"},
      {"{{ name is string }}{{ html|safe is string }}{{ 1 is string }}", "ok:TrueTrueFalse"},
      {"{{ items is sequence }}{{ (1,) is sequence }}{{ name is sequence }}{{ user is sequence }}", "ok:TrueTrueFalseFalse"},
      {"{{ items is iterable }}{{ name is iterable }}{{ user is iterable }}{{ nothing is iterable }}{{ 1 is iterable }}", "ok:TrueTrueTrueTrueFalse"},
      {"{{ user is mapping }}{{ namespace() is mapping }}{{ items is mapping }}", "ok:TrueTrueFalse"},
      {"{% for i in items %}{{ loop is mapping }}{% endfor %}", "ok:TrueTrueTrue"},
      {"{{ flag is true }}{{ 1 is true }}{{ false is false }}{{ 0 is false }}", "ok:TrueFalseTrueFalse"},
  });
}

TEST(Tests, NumberTests) {
  check({
      {"{{ 3 is odd }}{{ -3 is odd }}{{ 3.0 is odd }}{{ 3.5 is odd }}{{ flag is odd }}{{ big is odd }}{{ 'x' is odd }}", "ok:TrueTrueTrueFalseTrueTrueFalse"},
      {"{{ 4 is even }}{{ 1e300 is even }}{{ nothing is even }}", "ok:TrueTrueFalse"},
      {"{{ 9 is divisibleby 3 }}{{ 9 is divisibleby(4) }}{{ 9.0 is divisibleby 3 }}{{ big is divisibleby 5 }}{{ 'x' is divisibleby 3 }}", "ok:TrueFalseTrueTrueFalse"},
      {"{{ 9 is divisibleby 0 }}", "err:invalid operation: cannot divide by zero (in t:1)"},
      {"{{ 9 is divisibleby }}", "err:missing argument (in t:1)"},
      {"{{ 3 is odd(1) }}", "err:too many arguments (in t:1)"},
  });
}

TEST(Tests, TextTests) {
  check({
      {"{{ 'abc' is lower }}{{ 'aBc' is lower }}{{ '1' is lower }}{{ 'ß1' is lower }}{{ 'ǅ' is lower }}", "ok:TrueFalseFalseTrueFalse"},
      {"{{ 'ABC' is upper }}{{ 'A1' is upper }}{{ '' is upper }}{{ 'ÄÖ' is upper }}{{ 5 is upper }}", "ok:TrueTrueFalseTrueFalse"},
      {"{{ name is startingwith 'A' }}{{ name is endingwith('da') }}{{ 5 is startingwith '5' }}{{ name is startingwith 5 }}", "ok:TrueTrueTrueFalse"},
      {"{{ missing is startingwith 'a' }}", "err:undefined value (in t:1)"},
  });
}

TEST(Tests, ComparisonsAndIdentity) {
  check({
      {"{{ 1 is eq 1.0 }}{{ 1 is equalto 2 }}{{ 1 is ne 2 }}{{ 1 is lt 2 }}{{ 1 is lessthan 1 }}{{ 1 is le 1 }}{{ 2 is gt 1 }}{{ 2 is greaterthan 2 }}{{ 2 is ge 2 }}", "ok:TrueFalseTrueTrueFalseTrueTrueFalseTrue"},
      {"{{ items|select('==', 2)|list }}{{ items|select('!=', 2)|list }}{{ items|select('<', 2)|list }}{{ items|select('<=', 2)|list }}{{ items|select('>', 2)|list }}{{ items|select('>=', 2)|list }}", "ok:[2][1, 3][1][1, 2][3][2, 3]"},
      {"{{ missing is eq 1 }}{{ missing is ne 1 }}", "ok:FalseTrue"},
      {"{{ 1 is sameas 1 }}{{ 1 is sameas 1.0 }}{{ 1 is sameas flag }}{{ nothing is sameas none }}{{ [1] is sameas [1] }}{{ items is sameas items }}", "ok:TrueFalseFalseTrueFalseTrue"},
      {"{{ 2 is in items }}{{ 'd' is in name }}{{ 'id' is in user }}{{ 1 is in 5 }}{{ missing is in items }}", "ok:TrueTrueTrueFalseFalse"},
      {"{{ 1 is in missing }}", "err:undefined value (in t:1)"},
      {"{{ 1 is eq }}", "err:missing argument (in t:1)"},
  });
}

TEST(Tests, RegistryLookupsAndUndefined) {
  check({
      {"{{ 'upper' is filter }}{{ 'tojson' is filter }}{{ 'urlencode' is filter }}{{ 'odd' is test }}{{ '==' is test }}{{ 'nosuch' is test }}", "ok:TrueFalseFalseTrueTrueFalse"},
      {"{{ 1 is filter }}", "err:invalid operation: the name to look up must be a string (in t:1)"},
      {"{{ missing is undefined }}{{ missing is defined }}{{ missing is odd }}{{ missing is string }}{{ missing is mapping }}", "ok:TrueFalseFalseFalseFalse"},
      {"{{ missing is sequence }}", "err:undefined value (in t:1)"},
      {"{{ missing is iterable }}", "err:undefined value (in t:1)"},
  });
}

TEST(Methods, StringMethods) {
  check({
      {"{{ 'aß'.upper() }}|{{ 'AB'.lower() }}|{{ 'x-y z'.title() }}|{{ 'hELLO'.capitalize() }}", "ok:ASS|ab|X-Y Z|Hello"},
      {"[{{ ' x '.strip() }}][{{ ' x '.lstrip() }}][{{ ' x '.rstrip() }}][{{ 'xax'.strip('x') }}][{{ 'x'.strip(none) }}]", "ok:[x][x ][ x][a][x]"},
      {"{{ 'a b  c'.split() }}|{{ 'a,b,c'.split(',', 1) }}|{{ 'a b c'.split(maxsplit=1) }}|{{ 'a,b'.split(sep=',') }}", "ok:['a', 'b', 'c']|['a', 'b,c']|['a', 'b c']|['a', 'b']"},
      {"{{ name.startswith('A') }}{{ name.endswith('x') }}{{ name.startswith(('x', 'A')) }}", "ok:TrueFalseTrue"},
      {"{{ name.startswith(1) }}", "err:invalid operation: startswith needs a string or a tuple of strings (in t:1)"},
      {"{{ 'aaa'.replace('a', 'b') }}|{{ 'aaa'.replace('a', 'b', 2) }}|{{ 'aaa'.replace('a', 'b', count=1) }}", "ok:bbb|bba|baa"},
      {"{{ name.upper(1) }}", "err:too many arguments (in t:1)"},
      {"{{ name.zfill(5) }}", "err:unknown method: string has no method named zfill (in t:1)"},
  });
}

TEST(Methods, StrFormat) {
  check({
      {"{{ '{} and {}'.format(1, 'x') }}|{{ '{1}{0}{1}'.format('a', 'b') }}|{{ '{who}!'.format(who=name) }}|{{ '{{}}'.format() }}", "ok:1 and x|bab|Ada!|{}"},
      {"{{ '{0.name}/{0[id]}/{1[1]}'.format(user, items) }}", "ok:Bob/7/2"},
      {"{{ '{:>5}|{:<5}|{:^5}|{:*^7}'.format('a', 'b', 'c', 'd') }}", "ok:    a|b    |  c  |***d***"},
      {"{{ '{:05d}|{:+d}|{: d}|{:x}|{:#X}|{:#b}|{:o}|{:c}'.format(42, 3, 3, 255, 255, 5, 8, 65) }}", "ok:00042|+3| 3|ff|0XFF|0b101|10|A"},
      {"{{ '{:,}|{:_}|{:,.2f}|{:010,.2f}'.format(1234567, 1234567, 1234567.891, 1234.5) }}", "ok:1,234,567|1_234_567|1,234,567.89|001,234.50"},
      {"{{ '{:.2f}|{:e}|{:g}|{:.3}|{:%}|{:.1%}'.format(3.14159, 1.0, 1e-5, 3.14159, 0.5, 0.25) }}", "ok:3.14|1.000000e+00|1e-05|3.14|50.000000%|25.0%"},
      {"{{ '{}|{}|{}|{}'.format(1.0, 1e16, 1.5e-5, 0.1) }}", "ok:1.0|1e+16|1.5e-05|0.1"},
      {"{{ '{:.0}|{:.3}|{:.3}|{:.3}|{:.1}|{:.2}|{:.5}|{:.3}'.format(2.5, 100.0, 123.0, 12.5, 0.25, 1.0, 0.0001234, 999.9) }}",
       "ok:2e+00|1e+02|1.23e+02|12.5|0.2|1.0|0.0001234|1e+03"},
      {"{{ '{}|{:5}|{}'.format(flag, flag, nothing) }}", "ok:True|    1|None"},
      {"{{ '{!r}|{!s}|{:.2}'.format('x', 'y', 'abc') }}", "ok:'x'|y|ab"},
      {"{{ '{}'.format(missing) }}", "err:undefined value (in t:1)"},
      {"{{ '{}'.format() }}", "err:invalid operation: format field refers to a missing argument (in t:1)"},
      {"{{ '{0} {}'.format(1, 2) }}", "err:invalid operation: cannot switch from manual to automatic field numbering (in t:1)"},
      {"{{ '}'.format() }}", "err:invalid operation: single '}' encountered in format string (in t:1)"},
      {"{{ '{:d}'.format('x') }}", "err:invalid operation: unknown format code 'd' for a value of type string (in t:1)"},
  });
}

TEST(Methods, MapAndSequenceMethods) {
  check({
      {"{{ user.items() }}|{{ user.keys() }}|{{ user.values() }}", "ok:[('id', 7), ('name', 'Bob')]|['id', 'name']|[7, 'Bob']"},
      {"{% for k, v in user.items() %}{{ k }}={{ v }};{% endfor %}", "ok:id=7;name=Bob;"},
      {"{{ user.get('name') }}|{{ user.get('zz') }}|{{ user.get('zz', 0) }}|{{ user.get(key='id') }}", "ok:Bob|None|0|7"},
      {"{{ user.get() }}", "err:missing argument (in t:1)"},
      {"{{ [1, 2, 1].index(1) }}|{{ [1, 2, 1].count(1) }}|{{ items.count(9) }}|{{ [1.0].index(1) }}", "ok:0|2|0|0"},
      {"{{ items.index(9) }}", "err:invalid operation: value is not in the list (in t:1)"},
      {"{{ items.append(4) }}", "err:unknown method: sequence has no method named append (in t:1)"},
  });
}

}  // namespace
}  // namespace jinja

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quorlen/core/origin.hpp"

namespace quorlen::core {
namespace {

struct PrepassCase {
  std::string source;
  std::string expected;  // empty: the source comes back unchanged
};

std::string wrapped(std::string_view inner) {
  return "{{ (" + std::string(inner) + ") | quorlen_guard_wrap }}";
}

TEST(ApplyGuardPrepass, RewritesExactlyTheExpressionsNamingAnUntrustedVariable) {
  const std::vector<std::string> untrusted = {"user_input"};
  const std::vector<PrepassCase> cases = {
      {"{{ user_input }}", wrapped("user_input")},
      {"{{user_input}}", wrapped("user_input")},
      {"{{ user_input | upper }}", wrapped("user_input | upper")},
      {"{{ user_input.strip() }}", wrapped("user_input.strip()")},
      {"{{ user_input[0] }}", wrapped("user_input[0]")},
      {"{{ data.user_input }}", ""},
      {"{{ user_input_len }}", ""},
      {"{{ User_input }}", ""},
      {"{{ \"Hello \" ~ user_input }}", wrapped("\"Hello \" ~ user_input")},
      {"{{ \"user_input\" }}", ""},
      {"{{ \"a user_input b\" }}", wrapped("\"a user_input b\"")},
      {"{{ user_input ~ user_input }}", wrapped("user_input ~ user_input")},
      {"{{ topic }}", ""},
      {"plain text, no expression: user_input", ""},
      {"Hi {{ user_input", ""},
      {"Hi {{ user_input }", ""},
      {"ends with {{", ""},
      {"{{}}", ""},
      // A quoted `}}` does not close the expression; escapes inside quotes are skipped in
      // pairs, so `\\` leaves the quote to close the string.
      {"{{ x ~ \"}}\" ~ user_input }}", wrapped("x ~ \"}}\" ~ user_input")},
      {"{{ \"a\\\"}}\" ~ user_input }}", wrapped("\"a\\\"}}\" ~ user_input")},
      {"{{ 'it\\\\' ~ user_input }}", wrapped("'it\\\\' ~ user_input")},
      // An unterminated string means no expression there; the next `{{` is examined afresh.
      {"{{ \"oops {{ user_input }}", "{{ \"oops " + wrapped("user_input")},
      {"{% for item in user_input %}{{ item }}{% endfor %}", ""},
      {"{% if user_input %}yes{% endif %}", ""},
      {"{# {{ user_input }} #}", "{# " + wrapped("user_input") + " #}"},
      {"A {{ topic }} B {{ user_input }} C", "A {{ topic }} B " + wrapped("user_input") + " C"},
      {"caf\xc3\xa9 {{ user_input }} \xe2\x9c\x93", "caf\xc3\xa9 " + wrapped("user_input") +
                                                        " \xe2\x9c\x93"},
      // Unicode white space around the expression is trimmed, inside it kept.
      {"{{\xe2\x80\x83 user_input ~ \"\xc2\xa0\"\xc2\xa0\n}}",
       wrapped("user_input ~ \"\xc2\xa0\"")},
      {"{{ user_input\xe3\x80\x80}}", ""},  // the ideographic space is part of the word
      {"{{ user_input ~ x\xc0\x8b}}", wrapped("user_input ~ x\xc0\x8b")},  // overlong, no space
      // Whitespace control stays glued to the braces, where it keeps its meaning.
      {"{{- user_input -}}", "{{- (user_input) | quorlen_guard_wrap -}}"},
      {"{{-user_input}}", "{{- (user_input) | quorlen_guard_wrap }}"},
      {"{{ user_input +}}", "{{ (user_input) | quorlen_guard_wrap +}}"},
      {"{{+ user_input | lower -}}", "{{+ (user_input | lower) | quorlen_guard_wrap -}}"},
      {"{{ user_input - 1 }}", wrapped("user_input - 1")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    const std::string& expected = c.expected.empty() ? c.source : c.expected;
    EXPECT_EQ(apply_guard_prepass(c.source, untrusted), expected);
  }
}

TEST(ApplyGuardPrepass, EmptySetCopiesTheSource) {
  EXPECT_EQ(apply_guard_prepass("{{ user_input }}", {}), "{{ user_input }}");
}

TEST(ApplyGuardPrepass, MatchesEveryMemberOfAnUnsortedSet) {
  const std::vector<std::string> untrusted = {"zeta", "alpha", "mid"};
  EXPECT_EQ(apply_guard_prepass("{{ alpha }}{{ mid }}{{ zeta }}", untrusted),
            wrapped("alpha") + wrapped("mid") + wrapped("zeta"));
}

TEST(ApplyGuardPrepass, StaysLinearOnManyUnclosedExpressions) {
  // Each `{{` opens a string the next one closes, so every other scan starts afresh; a
  // rescan to the end for each would take minutes here.
  std::string source;
  for (int k = 0; k < 200'000; ++k) source += "{{\"";
  const std::string out = apply_guard_prepass(source, {"user_input"});
  EXPECT_EQ(out, source);
  // With an even number of quotes the first `{{` closes at the very end.
  EXPECT_EQ(apply_guard_prepass(source + " user_input }}", {"user_input"}),
            wrapped(source.substr(2) + " user_input"));
}

}  // namespace
}  // namespace quorlen::core

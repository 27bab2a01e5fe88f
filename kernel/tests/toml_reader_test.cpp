// The TOML reader on its own: the tree it builds (order, types, positions), the documents it
// refuses, and the report it writes for them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "generated/prompt_definition/toml_reader.hpp"

namespace pd = quorlen::core::generated::prompt_definition;
using pd::Node;

namespace {

// A compact view of a tree: tables in entry order, date-times as dt(...).
std::string dump(const Node& node) {
  switch (node.kind) {
    case Node::Kind::Mapping: {
      std::string out = "{";
      for (const auto& [key, value] : node.entries) {
        if (out.size() > 1) out += ",";
        out += key.text + ":" + dump(value);
      }
      return out + "}";
    }
    case Node::Kind::Sequence: {
      std::string out = "[";
      for (const Node& item : node.items) {
        if (out.size() > 1) out += ",";
        out += dump(item);
      }
      return out + "]";
    }
    case Node::Kind::String:
      return "\"" + node.text + "\"";
    case Node::Kind::Int:
      return std::to_string(node.int_value);
    case Node::Kind::Float: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "f%g", node.float_value);
      return buffer;
    }
    case Node::Kind::Bool:
      return node.boolean ? "true" : "false";
    case Node::Kind::DateTime:
      return "dt(" + node.text + ")";
    default:
      return "?";
  }
}

std::string read(std::string_view text) {
  auto node = pd::toml::parse(text);
  return node ? dump(*node) : "error: " + node.error().message;
}

struct TreeCase {
  const char* what;
  std::string_view text;
  const char* tree;
};

TEST(TomlReader, BuildsTheTreeInDocumentOrder) {
  const std::vector<TreeCase> cases = {
      {"keys keep their written order, not sorted", "name = 1\nbody = 2\nrole = 3",
       "{name:1,body:2,role:3}"},
      {"a later header adds to the table where it was first defined",
       "[z]\na = 1\n[y]\n[z.x]\nb = 2", "{z:{a:1,x:{b:2}},y:{}}"},
      {"a table named on the way to a deeper header can be defined later",
       "[a.b.c]\nx = 1\n[a]\ny = 2", "{a:{b:{c:{x:1}},y:2}}"},
      {"dotted keys build nested tables", "a.b.c = 1\na.b.d = 2\na.e = 3",
       "{a:{b:{c:1,d:2},e:3}}"},
      {"a header may add a sub-table to a dotted-key table",
       "[fruit]\napple.color = \"red\"\n[fruit.apple.texture]\nsmooth = true",
       "{fruit:{apple:{color:\"red\",texture:{smooth:true}}}}"},
      {"arrays of tables append and nest", "[[v]]\nn = 1\n[v.sub]\nx = 2\n[[v]]\nn = 3",
       "{v:[{n:1,sub:{x:2}},{n:3}]}"},
      {"inline tables span lines with comments and a trailing comma",
       "t = {\n  a = 1, # one\n  b.c = [2,\n 3,],\n}", "{t:{a:1,b:{c:[2,3]}}}"},
      {"quoted keys are taken literally, dots included", "\"a.b\" = 1\n'c d' = 2\n\"\" = 3",
       "{a.b:1,c d:2,:3}"},
      {"escapes, including the \\x and \\e of TOML 1.1",
       R"(s = "tab\tq\"\x41\u00e9\U0001F600\e")", "{s:\"tab\tq\"A\xC3\xA9\xF0\x9F\x98\x80\x1B\"}"},
      {"a multi-line string drops its first line break and joins backslash-ended lines",
       "s = \"\"\"\nab \\\n    cd\"\"\"", "{s:\"ab cd\"}"},
      {"CRLF inside a multi-line string reads as LF", "s = '''\r\nx\r\ny'''\r\n",
       "{s:\"x\ny\"}"},
      {"up to two quotes right before the closing ones belong to the string",
       "s = \"\"\"a\"\"\"\"\"\nt = '''b'''''", "{s:\"a\"\"\",t:\"b''\"}"},
      {"integers in every base, floats with underscores and exponents",
       "a = [+1_000, -0, 0xff, 0o17, 0b101, 9223372036854775807, -9223372036854775808]\n"
       "b = [1.5, -2e3, 1_0.2_5e-1_0, 1e-400]",
       "{a:[1000,0,255,15,5,9223372036854775807,-9223372036854775808],"
       "b:[f1.5,f-2000,f1.025e-09,f0]}"},
      {"date-times in RFC 3339 form: upper-case T and Z, seconds always, fraction as written",
       "a = 1979-05-27 07:32Z\nb = 1979-05-27t07:32:00.5z\nc = 1979-05-27T00:32:00-07:00\n"
       "d = 1979-05-27T07:32\ne = 1979-05-27\nf = 07:32\ng = 00:00:60.123456789",
       "{a:dt(1979-05-27T07:32:00Z),b:dt(1979-05-27T07:32:00.5Z),"
       "c:dt(1979-05-27T00:32:00-07:00),d:dt(1979-05-27T07:32:00),e:dt(1979-05-27),"
       "f:dt(07:32:00),g:dt(00:00:60.123456789)}"},
      {"a date followed by a comment is a date", "d = 2024-02-29 # leap", "{d:dt(2024-02-29)}"},
      {"a byte order mark at the start is skipped", "\xEF\xBB\xBF" "a = 1", "{a:1}"},
      {"an empty document is an empty table", "", "{}"},
      {"so is a default-constructed view, which has no data pointer", std::string_view{}, "{}"},
  };
  for (const auto& c : cases) EXPECT_EQ(read(c.text), c.tree) << c.what;
}

TEST(TomlReader, MarksCountLinesAndCharacters) {
  const std::string text = "\xEF\xBB\xBF# c\n\"\xC3\xA9t\xC3\xA9\" = 'x'\n[t]\nk = [1,\n  2]";
  auto node = pd::toml::parse(text);
  ASSERT_TRUE(node) << node.error().message;
  const auto& [key, value] = node->entries[0];
  EXPECT_EQ(key.text, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ((std::pair{key.mark.line, key.mark.column}), (std::pair{2u, 1u}));
  EXPECT_EQ((std::pair{value.mark.line, value.mark.column}), (std::pair{2u, 9u}));
  EXPECT_EQ(value.mark.offset, text.find("'x'"));
  const Node& table = node->entries[1].second;
  EXPECT_EQ((std::pair{table.mark.line, table.mark.column}), (std::pair{3u, 1u}));
  const Node& array = table.entries[0].second;
  EXPECT_EQ((std::pair{array.items[1].mark.line, array.items[1].mark.column}),
            (std::pair{5u, 3u}));
  EXPECT_EQ((std::pair{array.end.line, array.end.column}), (std::pair{5u, 4u}));
}

struct RefusedCase {
  const char* what;
  std::string text;
  const char* message;
  std::uint32_t line;
  std::uint32_t column;
};

void expect_refused(const std::vector<RefusedCase>& cases) {
  for (const auto& c : cases) {
    auto node = pd::toml::parse(c.text);
    if (node) {
      ADD_FAILURE() << c.what << ": accepted";
      continue;
    }
    EXPECT_EQ(node.error().message, c.message) << c.what;
    const pd::Mark at = pd::toml::locate(c.text, node.error().offset);
    EXPECT_EQ((std::pair{at.line, at.column}), (std::pair{c.line, c.column})) << c.what;
  }
}

TEST(TomlReader, RefusesAKeyDefinedTwiceAtEveryLevel) {
  std::string many;
  for (int i = 0; i < 40; ++i) many += "k" + std::to_string(i) + " = 1\n";
  expect_refused({
      {"top level", "name = 'a'\nname = 'b'", "duplicate key `name`", 2, 1},
      {"the same variable table twice",
       "[variables.topic]\ntype = 'string'\n[variables.topic]", "duplicate key `topic`", 3, 12},
      {"inside a variable", "[variables.topic]\ntype = 'string'\ntype = 'string'",
       "duplicate key `type`", 3, 1},
      {"inside a variant", "[variants.short]\nbody = 'a'\n  body = 'b'", "duplicate key `body`",
       3, 3},
      {"inside metadata", "[metadata]\na = 1\na = 2", "duplicate key `a`", 3, 1},
      {"inside metadata through dotted keys", "[metadata]\na.b = 1\na.b = 2",
       "duplicate key `b`", 3, 3},
      {"inside an inline table", "metadata = { a = 1, a = 2 }", "duplicate key `a`", 1, 21},
      {"a quoted spelling of the same key", "a = 1\n\"a\" = 2", "duplicate key `a`", 2, 1},
      {"an inline table redefined by a header", "variables.t = { type = 'x' }\n[variables.t]",
       "duplicate key `t`", 2, 12},
      {"an inline table extended by a dotted key", "a = { b = 1 }\na.c = 2",
       "duplicate key `a`", 2, 1},
      {"a header table extended by dotted keys from its parent", "[a.b]\n[a]\nb.c = 1",
       "duplicate key `b`", 3, 1},
      {"a dotted-key table redefined by a header", "a.b = 1\n[a]", "duplicate key `a`", 2, 2},
      {"a value turned into a table", "a = 1\n[a.b]", "duplicate key `a`", 2, 2},
      {"an array value appended to as an array of tables", "a = []\n[[a]]",
       "duplicate key `a`", 2, 3},
      {"an array of tables redefined as a table", "[[a]]\n[a]", "duplicate key `a`", 2, 2},
      {"in a large table", many + "k7 = 2", "duplicate key `k7`", 41, 1},
  });
}

TEST(TomlReader, RefusesMalformedInputWithAClearMessage) {
  std::string long_dotted = "a";
  for (int i = 0; i < 200; ++i) long_dotted += ".a";
  expect_refused({
      {"invalid UTF-8", "a = \"\xC3\x28\"", "invalid UTF-8", 1, 6},
      {"an encoded surrogate", "a = \"\xED\xA0\x80\"", "invalid UTF-8", 1, 6},
      {"a NUL byte in a string", std::string("a = \"x\0y\"", 9),
       "control character U+0000 is not allowed in a string", 1, 7},
      {"a NUL byte between values", std::string("a = 1\0", 6),
       "control character U+0000 is not allowed here, expected a new line", 1, 6},
      {"a bare carriage return", "a = 1\rb = 2",
       "control character U+000D is not allowed here, expected a new line", 1, 6},
      {"a byte order mark after the start", "a = 1\n\xEF\xBB\xBF",
       "unexpected character `\xEF\xBB\xBF`, expected a key", 2, 1},
      {"a missing value", "a =", "unexpected end of text, expected a value", 1, 4},
      {"two values on one line", "a = 1 b = 2", "unexpected character `b`, expected a new line",
       1, 7},
      {"an unterminated string", "a = \"abc\nb = 1", "unterminated string", 1, 5},
      {"an unknown escape", "a = \"\\q\"", "invalid escape sequence `\\q`", 1, 6},
      {"an escaped surrogate", "a = \"\\uD800\"",
       "invalid escape sequence: not a Unicode scalar value", 1, 6},
      {"an integer beyond 64 bits", "a = 9223372036854775808",
       "integer out of range for a signed 64-bit integer", 1, 5},
      {"a leading zero", "a = 012", "leading zeros are not allowed in a number", 1, 5},
      {"a float beyond double range", "a = 1e400", "floating point number out of range", 1, 5},
      {"the 30th of February", "a = 2023-02-29", "invalid date: day out of range", 1, 5},
      {"a bare word as a value", "a = yes",
       "invalid value `yes`, expected a string, number, boolean, date-time, array or inline "
       "table", 1, 5},
      {"null, which TOML does not have", "a = [null]",
       "invalid value `null`, expected a string, number, boolean, date-time, array or inline "
       "table (TOML has no null: leave the key out instead)", 1, 6},
      {"a boolean run into a word", "a = truely",
       "invalid value `truely`, expected a string, number, boolean, date-time, array or inline "
       "table", 1, 5},
      {"a multi-line string as a key", "'''k''' = 1", "a multi-line string cannot be a key", 1,
       1},
      {"arrays nested beyond the limit", "a = " + std::string(200, '[') + std::string(200, ']'),
       "recursion limit exceeded", 1, 132},
      {"a dotted key deeper than the limit", long_dotted + " = 1", "recursion limit exceeded", 1,
       255},
      {"a header deeper than the limit", "[" + long_dotted + "]", "recursion limit exceeded", 1,
       256},
  });
}

TEST(TomlReader, NestingUpToTheLimitReads) {
  const int depth = pd::toml::kMaxDepth;
  // The value of `a` is the first level, so the innermost array sits at the limit.
  auto node = pd::toml::parse("a = " + std::string(depth, '[') + std::string(depth, ']'));
  EXPECT_TRUE(node) << node.error().message;
  auto deeper = pd::toml::parse("a = " + std::string(depth + 1, '[') + std::string(depth + 1, ']'));
  ASSERT_FALSE(deeper);
  EXPECT_EQ(deeper.error().message, "recursion limit exceeded");
}

TEST(TomlReader, HugeInputReadsOrFailsWithoutHanging) {
  // 100,000-deep nesting of inline tables and of arrays: refused at the limit.
  std::string deep_tables = "a = ";
  for (int i = 0; i < 100000; ++i) deep_tables += "{b = ";
  auto tables = pd::toml::parse(deep_tables);
  ASSERT_FALSE(tables);
  EXPECT_EQ(tables.error().message, "recursion limit exceeded");
  // A 100 MB string reads whole.
  std::string big = "a = '" + std::string(100'000'000, 'x') + "'";
  auto string = pd::toml::parse(big);
  ASSERT_TRUE(string);
  EXPECT_EQ(string->entries[0].second.text.size(), 100'000'000u);
  // 200,000 keys in one table: looking each up must not scan all the others.
  std::string wide;
  for (int i = 0; i < 200000; ++i) wide += "k" + std::to_string(i) + " = 1\n";
  auto many = pd::toml::parse(wide);
  ASSERT_TRUE(many) << many.error().message;
  EXPECT_EQ(many->entries.size(), 200000u);
  // Tiny values in great number would cost memory many times the text's size: refused.
  std::string countless = "a = [";
  for (std::size_t i = 0; i <= (std::size_t{1} << 20); ++i) countless += "1,";
  auto refused = pd::toml::parse(countless + "]");
  ASSERT_FALSE(refused);
  EXPECT_TRUE(refused.error().message.starts_with("too many keys and values"));
}

TEST(TomlReader, ReportShowsTheLineWithCaretsUnderTheSpan) {
  struct Case {
    const char* what;
    std::string text;
    std::string report;
  };
  const std::vector<Case> cases = {
      {"a duplicate key is underlined whole", "[metadata]\nowner = 'a'\nowner = 'b'\n",
       "TOML parse error at line 3, column 1\n"
       "  |\n"
       "3 | owner = 'b'\n"
       "  | ^^^^^\n"
       "duplicate key `owner`"},
      {"columns count characters, and tabs stay tabs so carets align",
       "\t\"\xC3\xA9\" = 1\n\t\"\xC3\xA9\" = 2",
       "TOML parse error at line 2, column 2\n"
       "  |\n"
       "2 | \t\"\xC3\xA9\" = 2\n"
       "  | \t^^^\n"
       "duplicate key `\xC3\xA9`"},
      {"the gutter widens with the line number", std::string(9, '\n') + "a = 1\na = 2\r\n",
       "TOML parse error at line 11, column 1\n"
       "   |\n"
       "11 | a = 2\n"
       "   | ^\n"
       "duplicate key `a`"},
      {"an error at the end of a CRLF line points just past the text", "a =\r\nb = 1",
       "TOML parse error at line 1, column 4\n"
       "  |\n"
       "1 | a =\n"
       "  |    ^\n"
       "unexpected end of line, expected a value"},
      {"invalid UTF-8 is shown as a replacement character", "a = 'x\xFFy'",
       "TOML parse error at line 1, column 7\n"
       "  |\n"
       "1 | a = 'x\xEF\xBF\xBDy'\n"
       "  |       ^\n"
       "invalid UTF-8"},
      {"a long line is cut to a window around the span",
       "a = [" + std::string(300, '1') + "x" + std::string(300, '1') + "]",
       "TOML parse error at line 1, column 6\n"
       "  |\n"
       "1 | a = [" + std::string(60, '1') + "...\n"
       "  |      " + std::string(60, '^') + "\n"
       "invalid number"},
  };
  for (const auto& c : cases) {
    auto node = pd::toml::parse(c.text);
    ASSERT_FALSE(node) << c.what;
    EXPECT_EQ(pd::toml::format_error(c.text, node.error()), c.report) << c.what;
  }
}

}  // namespace

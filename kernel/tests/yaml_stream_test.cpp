// The YAML event layer: node shapes and positions, alias replay, and the limits that keep
// hostile text from exhausting time or memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generated/prompt_definition/yaml_stream.hpp"

namespace pd = quorlen::core::generated::prompt_definition;
using pd::Node;

namespace {

std::vector<Node> parse_all(std::string_view text) {
  auto documents = pd::parse_yaml_stream(text, SIZE_MAX);
  EXPECT_TRUE(documents.has_value()) << documents.error().message;
  return documents ? std::move(*documents) : std::vector<Node>{};
}

Node parse_one(std::string_view text) {
  auto documents = parse_all(text);
  EXPECT_EQ(documents.size(), 1u);
  return documents.empty() ? Node{} : std::move(documents.front());
}

// A compact picture of a tree: scalars as text with `=` for plain, `'` for non-plain and
// `<tag>` when tagged; collections in brackets and braces.
std::string shape(const Node& n) {
  switch (n.kind) {
    case Node::Kind::Scalar: {
      std::string s = n.tag.empty() ? "" : "<" + n.tag + ">";
      return s + (n.plain ? "=" : "'") + n.text;
    }
    case Node::Kind::Sequence: {
      std::string s = "[";
      for (const auto& item : n.items) s += (s.size() > 1 ? "," : "") + shape(item);
      return s + "]";
    }
    case Node::Kind::Mapping: {
      std::string s = "{";
      for (const auto& [k, v] : n.entries) {
        s += (s.size() > 1 ? "," : "") + shape(k) + ":" + shape(v);
      }
      return s + "}";
    }
    default:
      return "?";
  }
}

struct ShapeCase {
  const char* yaml;
  const char* shape;
};

TEST(YamlStream, NodesKeepStyleTagAndSourceOrder) {
  const std::vector<ShapeCase> cases = {
      {"a: 1\nb: '1'\nc: \"x\"\n", "{=a:=1,=b:'1,=c:'x}"},
      {"a:\nb: ~\n", "{=a:=,=b:=~}"},
      {"- |\n  line\n- >-\n  folded\n  text\n", "['line\n,'folded text]"},
      // Duplicates are kept in order: whether they are an error is the record's decision.
      {"{k: 1, k: 2}", "{=k:=1,=k:=2}"},
      {"!!bool \"true\"", "<tag:yaml.org,2002:bool>'true"},
      {"!!str 12", "<tag:yaml.org,2002:str>=12"},
      {"%TAG !e! tag:example.com,2000:\n---\n!e!x 1", "<tag:example.com,2000:x>=1"},
      // The non-specific tag means "a string", never a resolved plain scalar.
      {"! 12", "'12"},
      {"? [a, b]\n: c\n", "{[=a,=b]:=c}"},
      {"\xEF\xBB\xBF" "a: 1\n", "{=a:=1}"},
      {"a: 1\r\nb: 2\r\n", "{=a:=1,=b:=2}"},
  };
  for (const auto& c : cases) EXPECT_EQ(shape(parse_one(c.yaml)), c.shape) << c.yaml;
}

struct MarkCase {
  const char* yaml;
  std::vector<int> path;  // child indices; a mapping entry counts key, value as 2i, 2i+1
  pd::Mark mark;
};

const Node& at(const Node& root, const std::vector<int>& path) {
  const Node* n = &root;
  for (int i : path) {
    n = n->kind == Node::Kind::Sequence
            ? &n->items[i]
            : (i % 2 == 0 ? &n->entries[i / 2].first : &n->entries[i / 2].second);
  }
  return *n;
}

TEST(YamlStream, MarksAreOneBasedLinesColumnsAndByteOffsets) {
  const std::vector<MarkCase> cases = {
      {"name: x\nrole: user\n", {3}, {2, 7, 14}},
      // Columns count characters, offsets count bytes.
      {"n: \xC3\xA9t\xC3\xA9\nr: user\n", {3}, {2, 4, 12}},
      {"n: \xC3\xA9t\xC3\xA9\nr: user\n", {1}, {1, 4, 3}},
      // A byte-order mark takes no column.
      {"\xEF\xBB\xBF" "a: 1\n", {1}, {1, 4, 6}},
      {"a: [1, 2]\n", {1}, {1, 4, 3}},
      {"a: [1, 2]\n", {1, 1}, {1, 8, 7}},
  };
  for (const auto& c : cases) {
    const pd::Mark m = at(parse_one(c.yaml), c.path).mark;
    EXPECT_EQ(m.line, c.mark.line) << c.yaml;
    EXPECT_EQ(m.column, c.mark.column) << c.yaml;
    EXPECT_EQ(m.offset, c.mark.offset) << c.yaml;
  }
  const Node seq = parse_one("a: [1,\n  2]\n").entries[0].second;
  EXPECT_EQ(seq.end.line, 2u);
  EXPECT_EQ(seq.end.column, 5u);
}

TEST(YamlStream, AliasesReplayTheAnchoredNode) {
  const std::vector<ShapeCase> cases = {
      {"a: &x {k: [1, '2']}\nb: *x\n", "{=a:{=k:[=1,'2]},=b:{=k:[=1,'2]}}"},
      {"- &s v\n- *s\n- *s\n", "[=v,=v,=v]"},
      // A later anchor of the same name wins from there on.
      {"- &s one\n- *s\n- &s two\n- *s\n", "[=one,=one,=two,=two]"},
      {"- &o [&i x, *i]\n- *o\n", "[[=x,=x],[=x,=x]]"},
      {"&k key: *k\n", "{=key:=key}"},
  };
  for (const auto& c : cases) EXPECT_EQ(shape(parse_one(c.yaml)), c.shape) << c.yaml;

  // The replayed root stands where the alias is; what is inside keeps its own source.
  const Node root = parse_one("a: &x [1]\nb: *x\n");
  EXPECT_EQ(root.entries[1].second.mark.line, 2u);
  EXPECT_EQ(root.entries[1].second.items[0].mark.line, 1u);
}

TEST(YamlStream, DocumentsAreCountedAndBounded) {
  struct Case {
    const char* yaml;
    std::size_t documents;
  };
  const std::vector<Case> cases = {
      {"", 0}, {"# only a comment\n\n", 0}, {"   \n", 0}, {"a", 1}, {"---\n", 1},
      {"a\n...\n", 1}, {"a\n---\nb\n", 2}, {"---\n---\n", 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse_all(c.yaml).size(), c.documents) << c.yaml;
  }
  auto limited = pd::parse_yaml_stream("a: 1\n---\na: 2\n", 1);
  ASSERT_FALSE(limited);
  EXPECT_EQ(limited.error().message, pd::kYamlTooManyDocuments);
  // The bound applies before a later document is read at all.
  EXPECT_EQ(pd::parse_yaml_stream("a: 1\n---\n[unclosed\n", 1).error().message,
            pd::kYamlTooManyDocuments);
  // Anchors belong to their document.
  EXPECT_EQ(pd::parse_yaml_stream("&a x\n---\n*a\n", SIZE_MAX).error().message,
            "unknown anchor `a`");
}

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (std::size_t i = 0; i < n; ++i) out += s;
  return out;
}

std::string billion_laughs() {
  std::string text = "a0: &a0 [lol, lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
  for (int i = 1; i < 10; ++i) {
    const std::string prev = "*a" + std::to_string(i - 1);
    text += "a" + std::to_string(i) + ": &a" + std::to_string(i) + " [";
    for (int j = 0; j < 10; ++j) text += (j ? ", " : "") + prev;
    text += "]\n";
  }
  return text;
}

// An anchored chain `depth` collections deep, replayed under `outer` more levels.
std::string deep_alias(std::size_t depth, std::size_t outer) {
  return "- &d " + repeat("[", depth) + repeat("]", depth) + "\n- " + repeat("[", outer) +
         "*d" + repeat("]", outer) + "\n";
}

struct FailureCase {
  std::string name;
  std::string yaml;
  std::string message;  // the start of the expected message
  std::uint32_t line;   // 0: no position
};

TEST(YamlStream, HostileTextFailsClearlyAndEarly) {
  const std::size_t max = pd::kYamlMaxDepth;
  const std::vector<FailureCase> cases = {
      {"billion laughs", billion_laughs(), "repetition limit exceeded", 5},
      {"many small aliases",
       "- &s x\n- [" + repeat("*s, ", pd::kYamlMaxReplayedNodes + 1) + "]\n",
       "repetition limit exceeded", 2},
      {"nested flow sequences", repeat("[", 100'000) + repeat("]", 100'000),
       "recursion limit exceeded", 1},
      {"nested flow mappings", repeat("{a: ", 100'000) + "x" + repeat("}", 100'000),
       "recursion limit exceeded", 1},
      {"nested block sequences", repeat("- ", 100'000) + "x\n", "recursion limit exceeded", 1},
      {"nested explicit keys", repeat("? ", 100'000) + "x\n", "recursion limit exceeded", 1},
      {"alias deepens past the bound", deep_alias(max - 2, 2), "recursion limit exceeded", 2},
      {"alias inside its own anchor", "&a [x, *a]", "recursion limit exceeded", 1},
      {"unknown anchor", "a: *nope\n", "unknown anchor `nope`", 1},
      {"invalid UTF-8", "a: b\nc: \xFF\n", "invalid leading UTF-8 octet", 2},
      {"truncated UTF-8", "a: \xC3", "incomplete UTF-8 octet sequence", 1},
      {"UTF-16 text", std::string("\xFF\xFE" "a\0:\0 \0" "1\0", 10), "invalid leading UTF-8",
       1},
      {"NUL byte", std::string("a: b\0c\n", 7), "control characters are not allowed", 1},
      {"syntax", "a: [1,\n  b: c", "while parsing a flow sequence", 3},
  };
  for (const auto& c : cases) {
    auto result = pd::parse_yaml_stream(c.yaml, SIZE_MAX);
    ASSERT_FALSE(result) << c.name;
    EXPECT_TRUE(result.error().message.starts_with(c.message))
        << c.name << ": " << result.error().message;
    EXPECT_EQ(result.error().mark.line, c.line) << c.name;
  }
  // Exactly at the bounds is still fine.
  EXPECT_TRUE(pd::parse_yaml_stream(deep_alias(max - 2, 1), SIZE_MAX)) << "depth at the bound";
  EXPECT_TRUE(pd::parse_yaml_stream(repeat("[", max) + repeat("]", max), SIZE_MAX));
  EXPECT_TRUE(pd::parse_yaml_stream(
      "- &s x\n- [" + repeat("*s, ", pd::kYamlMaxReplayedNodes) + "]\n", SIZE_MAX));
}

TEST(YamlStream, LargeScalarsReadWhole) {
  const std::string big(100u << 20, 'x');
  const Node root = parse_one("body: " + big + "\n");
  ASSERT_EQ(root.entries.size(), 1u);
  EXPECT_EQ(root.entries[0].second.text.size(), big.size());

  // Replaying a large scalar is priced by its bytes: once is as much as the text itself.
  const std::string doubled = "a: &b '" + std::string(20u << 20, 'y') + "'\nb: *b\n";
  EXPECT_TRUE(pd::parse_yaml_stream(doubled, SIZE_MAX));
  EXPECT_EQ(pd::parse_yaml_stream(doubled + "c: *b\n", SIZE_MAX).error().message,
            "repetition limit exceeded");
}

}  // namespace

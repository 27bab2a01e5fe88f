// The public YAML test suite: every valid stream reads to the JSON of each of its documents
// (plain scalars resolved by the core schema), every error stream is rejected, except for
// the listed cases where the underlying libyaml parser departs from YAML 1.2. The list is
// checked too, so it shrinks as soon as a case starts to pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "generated/prompt_definition/yaml_stream.hpp"
#include "quorlen/core/json.hpp"

namespace pd = quorlen::core::generated::prompt_definition;
namespace json = quorlen::core::json;
namespace fs = std::filesystem;

namespace {

// Valid YAML 1.2 that libyaml 0.2.5 (a YAML 1.1 parser) refuses.
const std::map<std::string, std::string> kValidButRejected = {
    // Empty implicit keys (": a"), which YAML 1.1 has no form for.
    {"2JQS", "empty keys"}, {"6M2F", "empty keys"}, {"CFD4", "empty keys"},
    {"FRK4", "empty keys"}, {"M2N8/00", "empty keys"}, {"NHX8", "empty keys"},
    {"NKF9", "empty keys"}, {"S3PD", "empty keys"}, {"SM9W/01", "empty keys"},
    {"UKK6/00", "empty keys"},
    // Flow-context rules that YAML 1.2 relaxed: ':' adjacent to a quoted key or on the next
    // line, plain scalars starting with ':', multi-line implicit keys.
    {"4ABK", "flow ':'"}, {"4MUZ/00", "flow ':'"}, {"4MUZ/01", "flow ':'"},
    {"4MUZ/02", "flow ':'"}, {"58MP", "flow ':'"}, {"5MUD", "flow ':'"},
    {"5T43", "flow ':'"}, {"9SA2", "flow multi-line key"}, {"DBG4", "flow ':'"},
    {"HM87/00", "flow ':'"}, {"K3WX", "flow ':'"}, {"NJ66", "flow multi-line key"},
    {"UT92", "flow multi-line key"}, {"VJP3/01", "flow ':'"},
    // Tabs as separating white space or inside block scalar indentation.
    {"6BCT", "tabs"}, {"6CA3", "tabs"}, {"96NN/00", "tabs"}, {"96NN/01", "tabs"},
    {"A2M4", "tabs"}, {"DK95/00", "tabs"}, {"DK95/03", "tabs"}, {"DK95/04", "tabs"},
    {"Q5MG", "tabs"}, {"R4YG", "tabs"}, {"Y79Y/001", "tabs"}, {"Y79Y/010", "tabs"},
    // Reserved or unknown directives, and %YAML 1.3, which YAML 1.2 says to warn about.
    {"2LFX", "reserved directive"}, {"6LVF", "reserved directive"},
    {"MUS6/05", "reserved directive"}, {"MUS6/06", "reserved directive"},
    {"BEC7", "YAML 1.3 directive"},
    // Bare documents after '...', top-level block scalars at indentation 0, and streams
    // holding only '...'.
    {"7Z25", "bare document"}, {"M7A3", "bare document"}, {"DK3J", "zero-indented scalar"},
    {"FP8R", "zero-indented scalar"}, {"W4TN", "zero-indented scalar"},
    {"HWV9", "only '...'"}, {"QT73", "only '...'"},
    // Anchor names with ':' or non-ASCII characters.
    {"2SXE", "anchor name"}, {"8XYN", "anchor name"}, {"W5VH", "anchor name"},
    // libyaml would read these as other data (the anchor "an" on ":chor value"; the key
    // "x" for "?x"); the reader refuses them rather than return what was not written.
    {"Y2GN", "anchor name"}, {"652Z", "'?' before text in flow"},
    {"HM87/01", "'?' before text in flow"},
};

// Read, but not quite as YAML 1.2 says: a block scalar whose last line holds only spaces
// and has no line break loses that line. White space at the very end of a text, no more.
const std::map<std::string, std::string> kReadDifferently = {
    {"JEF9/02", "last line of spaces"}, {"L24T/01", "last line of spaces"},
};

// Invalid YAML that libyaml reads anyway; each is a lenient reading, never a wrong value for
// a stream that is valid.
const std::map<std::string, std::string> kInvalidButAccepted = {
    // A comment not separated from the token before it by white space.
    {"9JBA", "comment without space"}, {"CVW2", "comment without space"},
    {"MUS6/00", "comment without space"}, {"SU5Z", "comment without space"},
    {"X4QW", "comment without space"},
    // Continuation lines of flow or quoted scalars not indented under their block parent.
    {"9C9N", "under-indented flow"}, {"QB6E", "under-indented quoted"},
    {"DK95/01", "under-indented quoted"}, {"Y79Y/003", "under-indented flow"},
    // Directives of a following document without an ending '...' first.
    {"9HCY", "directive without '...'"}, {"EB22", "directive without '...'"},
    {"RHX7", "directive without '...'"}, {"MUS6/01", "repeated directive"},
    // '-' as a plain scalar in flow context.
    {"G5U8", "'-' in flow"}, {"YJV2", "'-' in flow"},
    // Leading blank lines longer than the content indentation of a block scalar.
    {"S98Z", "block scalar indentation"},
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// in.json holds one JSON text per document, one after the other.
std::vector<json::Value> json_documents(std::string_view text) {
  std::vector<json::Value> out;
  std::size_t i = 0;
  auto space = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\t')) {
      ++i;
    }
  };
  for (space(); i < text.size(); space()) {
    const std::size_t start = i;
    int depth = 0;
    bool in_string = false;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      if (in_string) {
        if (c == '\\') ++i;
        else if (c == '"') in_string = false;
        if (!in_string && depth == 0) { ++i; break; }
        continue;
      }
      if (c == '"') in_string = true;
      else if (c == '[' || c == '{') ++depth;
      else if (c == ']' || c == '}') { if (--depth == 0) { ++i; break; } }
      else if (depth == 0 && (c == ' ' || c == '\n' || c == '\r' || c == '\t')) break;
    }
    auto value = json::parse(text.substr(start, i - start));
    EXPECT_TRUE(value) << text.substr(start, i - start);
    if (value) out.push_back(std::move(*value));
  }
  return out;
}

// Numbers compare by value: the suite writes 450.00 as 450.
bool same(const json::Value& a, const json::Value& b) {
  auto number = [](const json::Value& v) -> std::optional<double> {
    if (auto i = v.get_if<std::int64_t>()) return static_cast<double>(*i);
    if (auto u = v.get_if<std::uint64_t>()) return static_cast<double>(*u);
    if (auto d = v.get_if<double>()) return *d;
    return std::nullopt;
  };
  if (auto x = number(a), y = number(b); x && y) return a == b || *x == *y;
  if (a.v.index() != b.v.index()) return false;
  if (auto x = a.get_if<json::Array>()) {
    const auto& y = b.as<json::Array>();
    return x->size() == y.size() && std::equal(x->begin(), x->end(), y.begin(),
                                               [](const auto& p, const auto& q) { return same(p, q); });
  }
  if (auto x = a.get_if<json::Object>()) {
    const auto& y = b.as<json::Object>();
    return x->size() == y.size() &&
           std::equal(x->begin(), x->end(), y.begin(), [](const auto& p, const auto& q) {
             return p.first == q.first && same(p.second, q.second);
           });
  }
  return a == b;
}

bool same(const std::vector<json::Value>& a, const std::vector<json::Value>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const auto& p, const auto& q) { return same(p, q); });
}

std::string text(const std::vector<json::Value>& values) {
  std::string out;
  for (const auto& v : values) out += json::write(v) + " ";
  return out;
}

struct Case {
  std::string id;
  fs::path dir;
};

std::vector<Case> cases() {
  const fs::path root = fs::path(QUORLEN_CONFORMANCE_DIR) / "yaml-test-suite" / "data";
  std::vector<Case> out;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().filename() != "in.yaml") continue;
    const fs::path dir = entry.path().parent_path();
    out.push_back({fs::relative(dir, root).generic_string(), dir});
  }
  std::sort(out.begin(), out.end(), [](const Case& a, const Case& b) { return a.id < b.id; });
  return out;
}

TEST(YamlConformance, SuiteReadsAsYaml12SaysSaveListedExceptions) {
  const auto all = cases();
  ASSERT_FALSE(all.empty()) << "yaml-test-suite not found under " << QUORLEN_CONFORMANCE_DIR;
  for (const auto& c : all) {
    const bool error_case = fs::exists(c.dir / "error");
    const auto documents = pd::parse_yaml_stream(slurp(c.dir / "in.yaml"), SIZE_MAX);
    const auto& exceptions = error_case ? kInvalidButAccepted : kValidButRejected;
    if (exceptions.contains(c.id)) {
      EXPECT_EQ(documents.has_value(), error_case) << c.id << ": listed exception now passes";
      continue;
    }
    if (error_case) {
      EXPECT_FALSE(documents) << c.id << " should be rejected";
      continue;
    }
    if (!documents) {
      ADD_FAILURE() << c.id << ": " << documents.error().message;
      continue;
    }
    if (!fs::exists(c.dir / "in.json")) continue;  // no JSON form (e.g. non-text keys)
    const auto expected = json_documents(slurp(c.dir / "in.json"));
    std::vector<json::Value> read;
    for (const auto& document : *documents) {
      auto value = pd::to_json(document);
      EXPECT_TRUE(value) << c.id << ": " << value.error();
      read.push_back(value ? std::move(*value) : json::Value());
    }
    if (kReadDifferently.contains(c.id)) {
      EXPECT_FALSE(same(read, expected)) << c.id << ": listed exception now passes";
    } else {
      EXPECT_TRUE(same(read, expected)) << c.id << ": " << text(read) << " != " << text(expected);
    }
  }
}

}  // namespace

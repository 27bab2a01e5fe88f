#include "generated/prompt_definition/yaml_stream.hpp"

#include <yaml.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>

namespace quorlen::core::generated::prompt_definition {
namespace {

// A document is first collected flat, in event order, and only then turned into the node
// tree. Aliases stay references until that last step, so an anchor costs nothing unless it
// is used, every replay is priced before anything is copied, and the copy is taken from the
// finished node instead of being rebuilt.
struct Flat {
  enum class Kind : std::uint8_t { Scalar, Sequence, Mapping, Alias };
  Kind kind = Kind::Scalar;
  bool plain = false;
  bool aliased = false;  // some alias replays this node: remember where it was built
  bool closed = false;   // an alias met inside its own target would recurse for ever
  std::string text;
  std::string tag;
  Mark mark;
  Mark end;
  std::size_t children = 0;  // direct children; a mapping's alternate key, value
  std::size_t next = 0;      // next sibling, 0 for none (index 0 is always a root)
  std::size_t target = 0;    // Alias: the anchored node
  // Of the subtree as it will be built, aliases expanded.
  std::size_t nodes = 1;
  std::size_t bytes = 0;
  std::size_t height = 0;  // nested collections: 0 for a scalar, 1 for [a]
};

struct Open {
  std::size_t index;
  std::size_t last_child = 0;
  bool has_child = false;
};

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::uint32_t clamp(std::size_t v) {
  return static_cast<std::uint32_t>(
      std::min<std::size_t>(v, std::numeric_limits<std::uint32_t>::max()));
}

// libyaml counts characters; a Mark holds a byte offset. Marks arrive almost always in text
// order, so a cursor that only moves forward converts them in linear time overall. libyaml
// is handed the text after `skipped` bytes (a byte-order mark); offsets count from the start.
class Positions {
 public:
  Positions(std::string_view text, std::size_t skipped)
      : text_(text),
        skipped_(skipped),
        ascii_(std::all_of(text.begin() + skipped, text.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; })),
        bytes_(skipped) {}

  std::string_view text() const { return text_; }

  Mark operator()(const yaml_mark_t& m) {
    if (ascii_) return make(m.line, m.column, std::min(m.index + skipped_, text_.size()));
    if (m.index < chars_) {
      chars_ = 0;
      bytes_ = skipped_;
    }
    while (chars_ < m.index && bytes_ < text_.size()) {
      bytes_ += width(static_cast<unsigned char>(text_[bytes_]));
      ++chars_;
    }
    return make(m.line, m.column, std::min(bytes_, text_.size()));
  }

  // Reader failures carry only a byte offset into what libyaml read; lines and columns are
  // counted as the scanner counts them (CR, LF and CRLF end a line; a column is a character).
  Mark at_offset(std::size_t offset) const {
    offset = std::min(offset + skipped_, text_.size());
    std::size_t line = 0;
    std::size_t column = 0;
    for (std::size_t i = skipped_; i < offset; ++i) {
      const auto c = static_cast<unsigned char>(text_[i]);
      if (c == '\n' || (c == '\r' && (i + 1 >= text_.size() || text_[i + 1] != '\n'))) {
        ++line;
        column = 0;
      } else if ((c & 0xC0) != 0x80 && c != '\r') {
        ++column;
      }
    }
    return make(line, column, offset);
  }

 private:
  static std::size_t width(unsigned char lead) {
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  }

  static Mark make(std::size_t line, std::size_t column, std::size_t offset) {
    return Mark{clamp(line + 1), clamp(column + 1), clamp(offset)};
  }

  std::string_view text_;
  std::size_t skipped_;
  bool ascii_;  // then characters are bytes
  std::size_t chars_ = 0;
  std::size_t bytes_;
};

std::string hex(int value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  auto v = static_cast<unsigned>(value);
  do {
    out.insert(out.begin(), kDigits[v & 0xF]);
    v >>= 4;
  } while (v != 0);
  return out;
}

YamlError parser_error(const yaml_parser_t& parser, Positions& positions) {
  const std::string problem = parser.problem ? parser.problem : "invalid YAML";
  switch (parser.error) {
    case YAML_MEMORY_ERROR:
      return {"out of memory while reading YAML", {}};
    case YAML_READER_ERROR: {
      std::string message = problem;
      if (parser.problem_value != -1) message += " (#x" + hex(parser.problem_value) + ")";
      return {std::move(message), positions.at_offset(parser.problem_offset)};
    }
    default: {
      std::string message = parser.context ? std::string(parser.context) + ", " + problem
                                           : problem;
      return {std::move(message), positions(parser.problem_mark)};
    }
  }
}

std::string_view view(const yaml_char_t* s) {
  return s ? std::string_view(reinterpret_cast<const char*>(s)) : std::string_view();
}

class EventParser {
 public:
  explicit EventParser(std::string_view text) {
    ok_ = yaml_parser_initialize(&parser_) != 0;
    if (!ok_) return;
    // libyaml asserts on a null input, which an empty string_view may carry.
    static constexpr unsigned char kNothing[1] = {0};
    const auto* input =
        text.data() ? reinterpret_cast<const unsigned char*>(text.data()) : kNothing;
    yaml_parser_set_input_string(&parser_, input, text.size());
    // The text is UTF-8 by contract; guessing would let stray bytes pass as UTF-16.
    yaml_parser_set_encoding(&parser_, YAML_UTF8_ENCODING);
  }
  ~EventParser() {
    if (ok_) yaml_parser_delete(&parser_);
  }
  EventParser(const EventParser&) = delete;
  EventParser& operator=(const EventParser&) = delete;

  bool ok() const { return ok_; }
  bool next(yaml_event_t& event) { return yaml_parser_parse(&parser_, &event) != 0; }
  const yaml_parser_t& raw() const { return parser_; }

 private:
  yaml_parser_t parser_{};
  bool ok_ = false;
};

struct EventGuard {
  yaml_event_t* event;
  ~EventGuard() { yaml_event_delete(event); }
};

class DocumentBuilder {
 public:
  DocumentBuilder(Positions& positions, std::size_t replay_byte_limit)
      : positions_(positions), replay_byte_limit_(replay_byte_limit) {
    flat_.reserve(64);  // a typical definition, without regrowing
  }

  std::expected<void, YamlError> scalar(const yaml_event_t& e) {
    const auto& s = e.data.scalar;
    const std::string_view tag = view(s.tag);
    const std::string_view anchor = view(s.anchor);
    auto added = add(Flat::Kind::Scalar, e, anchor);
    if (!added) return std::unexpected(std::move(added.error()));
    const std::size_t index = *added;
    Flat& f = flat_[index];
    f.text.assign(reinterpret_cast<const char*>(s.value), s.length);
    f.bytes = s.length;
    // The non-specific tag "!" asks for the scalar to be taken as a string.
    f.plain = s.style == YAML_PLAIN_SCALAR_STYLE && tag != "!";
    if (tag != "!") f.tag = tag;
    if (!anchor.empty()) anchors_[std::string(anchor)] = index;
    f.closed = true;
    complete(index);
    return {};
  }

  std::expected<void, YamlError> start(const yaml_event_t& e, Flat::Kind kind) {
    if (open_.size() >= kYamlMaxDepth) {
      return std::unexpected(YamlError{"recursion limit exceeded", positions_(e.start_mark)});
    }
    const bool sequence = kind == Flat::Kind::Sequence;
    const std::string_view tag =
        view(sequence ? e.data.sequence_start.tag : e.data.mapping_start.tag);
    const std::string_view anchor =
        view(sequence ? e.data.sequence_start.anchor : e.data.mapping_start.anchor);
    auto added = add(kind, e, anchor);
    if (!added) return std::unexpected(std::move(added.error()));
    const std::size_t index = *added;
    Flat& f = flat_[index];
    f.height = 1;
    if (tag != "!") f.tag = tag;
    if (!anchor.empty()) anchors_[std::string(anchor)] = index;
    open_.push_back(Open{index, 0, false});
    return {};
  }

  void finish(const yaml_event_t& e) {
    const Open top = open_.back();
    open_.pop_back();
    flat_[top.index].end = positions_(e.end_mark);
    flat_[top.index].closed = true;
    complete(top.index);
  }

  std::expected<void, YamlError> alias(const yaml_event_t& e) {
    const std::string_view name = view(e.data.alias.anchor);
    const auto found = anchors_.find(std::string(name));
    if (found == anchors_.end()) {
      return std::unexpected(
          YamlError{"unknown anchor `" + std::string(name) + "`", positions_(e.start_mark)});
    }
    const std::size_t target = found->second;
    const Flat& t = flat_[target];
    if (!t.closed || open_.size() + t.height > kYamlMaxDepth) {
      return std::unexpected(YamlError{"recursion limit exceeded", positions_(e.start_mark)});
    }
    const std::size_t nodes = t.nodes, bytes = t.bytes, height = t.height;
    replayed_nodes_ += nodes;
    replayed_bytes_ += bytes;
    if (replayed_nodes_ > kYamlMaxReplayedNodes || replayed_bytes_ > replay_byte_limit_) {
      return std::unexpected(YamlError{"repetition limit exceeded", positions_(e.start_mark)});
    }
    flat_[target].aliased = true;
    has_alias_ = true;
    auto added = add(Flat::Kind::Alias, e, {});  // may move `t`
    if (!added) return std::unexpected(std::move(added.error()));
    Flat& f = flat_[*added];
    f.target = target;
    f.nodes = nodes;
    f.bytes = bytes;
    f.height = height;
    complete(*added);
    return {};
  }

  // The finished document as a node tree; the builder is ready for the next document.
  Node take() {
    Node root;
    if (!flat_.empty()) {
      if (has_alias_) built_.assign(flat_.size(), nullptr);
      build(root, 0);
    }
    flat_.clear();
    open_.clear();
    anchors_.clear();
    built_.clear();
    has_alias_ = false;
    replayed_nodes_ = 0;
    replayed_bytes_ = 0;
    return root;
  }

 private:
  std::expected<std::size_t, YamlError> add(Flat::Kind kind, const yaml_event_t& e,
                                            std::string_view anchor) {
    const Mark mark = positions_(e.start_mark);
    if (auto misread = misread_at(mark, anchor); !misread.empty()) {
      return std::unexpected(YamlError{std::string(misread), mark});
    }
    const std::size_t index = flat_.size();
    if (index >= kYamlMaxNodes) {
      return std::unexpected(YamlError{
          "too many keys and values: a document may hold at most " + std::to_string(kYamlMaxNodes),
          mark});
    }
    if (!open_.empty()) {
      Open& parent = open_.back();
      if (parent.has_child) flat_[parent.last_child].next = index;
      parent.last_child = index;
      parent.has_child = true;
      ++flat_[parent.index].children;
    }
    Flat& f = flat_.emplace_back();
    f.kind = kind;
    f.mark = mark;
    f.end = positions_(e.end_mark);
    return index;
  }

  // libyaml follows YAML 1.1 in two places where YAML 1.2 reads the same text differently,
  // and would hand back other data than the author wrote without a word. Those readings
  // are refused instead.
  std::string_view misread_at(const Mark& mark, std::string_view anchor) const {
    const std::string_view text = positions_.text();
    auto separated = [&](std::size_t at) {
      return at >= text.size() || std::string_view(" \t\r\n,]}").contains(text[at]);
    };
    // `[?x]`: YAML 1.2 has the scalar "?x"; libyaml an explicit key "x".
    const std::size_t at = mark.offset;
    if (at > 0 && at < text.size() && text[at - 1] == '?' && !separated(at) && text[at] != ':') {
      return "`?` directly followed by text is not supported; quote the scalar or put a space "
             "after `?`";
    }
    // `&an:chor value`: YAML 1.2 has the anchor "an:chor"; libyaml the anchor "an" on the
    // scalar ":chor value".
    if (!anchor.empty()) {
      std::size_t found = text.find('&', at);
      while (found != std::string_view::npos && text.substr(found + 1, anchor.size()) != anchor) {
        found = text.find('&', found + 1);
      }
      if (found != std::string_view::npos && !separated(found + 1 + anchor.size())) {
        return "anchor names may hold only ASCII letters, digits, `-` and `_`";
      }
    }
    return {};
  }

  // Folds a finished subtree's expanded size into its parent.
  void complete(std::size_t index) {
    if (open_.empty()) return;
    Flat& parent = flat_[open_.back().index];
    const Flat& child = flat_[index];
    parent.nodes += child.nodes;
    parent.bytes += child.bytes;
    parent.height = std::max(parent.height, child.height + 1);
  }

  // Pre-order, as the events came, so an alias always finds its target already built.
  // Collections reserve their exact size first: the nodes built into them never move, and
  // an alias copies its target from where it was built. Depth is bounded by kYamlMaxDepth.
  void build(Node& out, std::size_t index) {
    Flat& f = flat_[index];
    out.mark = f.mark;
    out.end = f.end;
    switch (f.kind) {
      case Flat::Kind::Alias:
        // Inner nodes keep the position of their text; the replayed root sits at the alias.
        out = *built_[f.target];
        out.mark = f.mark;
        out.end = f.end;
        return;
      case Flat::Kind::Scalar:
        out.kind = Node::Kind::Scalar;
        out.text = std::move(f.text);
        out.tag = std::move(f.tag);
        out.plain = f.plain;
        break;
      case Flat::Kind::Sequence: {
        out.kind = Node::Kind::Sequence;
        out.tag = std::move(f.tag);
        out.items.reserve(f.children);
        std::size_t child = index + 1;
        for (std::size_t i = 0; i < f.children; ++i, child = flat_[child].next) {
          build(out.items.emplace_back(), child);
        }
        break;
      }
      case Flat::Kind::Mapping: {
        out.kind = Node::Kind::Mapping;
        out.tag = std::move(f.tag);
        out.entries.reserve(f.children / 2);
        std::size_t child = index + 1;
        for (std::size_t i = 0; i + 1 < f.children; i += 2) {
          auto& entry = out.entries.emplace_back();
          build(entry.first, child);
          child = flat_[child].next;
          build(entry.second, child);
          child = flat_[child].next;
        }
        break;
      }
    }
    if (f.aliased) built_[index] = &out;
  }

  Positions& positions_;
  std::vector<Flat> flat_;
  std::vector<Open> open_;
  std::unordered_map<std::string, std::size_t> anchors_;
  std::vector<const Node*> built_;
  bool has_alias_ = false;
  std::size_t replayed_nodes_ = 0;
  std::size_t replayed_bytes_ = 0;
  std::size_t replay_byte_limit_;
};

}  // namespace

std::expected<std::vector<Node>, YamlError> parse_yaml_stream(std::string_view text,
                                                              std::size_t max_documents) {
  // With the encoding fixed to UTF-8, libyaml would take a byte-order mark for a character
  // of the first line and misjudge that line's indentation, so it never sees one.
  const std::size_t skipped = text.starts_with(kBom) ? kBom.size() : 0;
  EventParser parser(text.substr(skipped));
  if (!parser.ok()) return std::unexpected(YamlError{"out of memory while reading YAML", {}});
  Positions positions(text, skipped);
  DocumentBuilder builder(positions, std::max(text.size(), kYamlMinReplayBytes));
  std::vector<Node> documents;
  for (;;) {
    yaml_event_t event;
    if (!parser.next(event)) return std::unexpected(parser_error(parser.raw(), positions));
    EventGuard guard{&event};
    std::expected<void, YamlError> step;
    switch (event.type) {
      case YAML_DOCUMENT_START_EVENT:
        if (documents.size() >= max_documents) {
          return std::unexpected(YamlError{std::string(kYamlTooManyDocuments), {}});
        }
        break;
      case YAML_DOCUMENT_END_EVENT:
        documents.push_back(builder.take());
        break;
      case YAML_SCALAR_EVENT:
        step = builder.scalar(event);
        break;
      case YAML_ALIAS_EVENT:
        step = builder.alias(event);
        break;
      case YAML_SEQUENCE_START_EVENT:
        step = builder.start(event, Flat::Kind::Sequence);
        break;
      case YAML_MAPPING_START_EVENT:
        step = builder.start(event, Flat::Kind::Mapping);
        break;
      case YAML_SEQUENCE_END_EVENT:
      case YAML_MAPPING_END_EVENT:
        builder.finish(event);
        break;
      case YAML_STREAM_END_EVENT:
        return documents;
      default:
        break;
    }
    if (!step) return std::unexpected(std::move(step.error()));
  }
}

}  // namespace quorlen::core::generated::prompt_definition

// A recursive-descent TOML 1.1.0 reader that builds the node tree in one pass. Tables are
// Mapping nodes whose entries stay in order of first definition, so the record rules see
// keys in document order and report the first fault a reader of the text would meet.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "generated/prompt_definition/toml_reader.hpp"
#include "generated/prompt_definition/toml_scalar.hpp"
#include "json_scanner.hpp"
#include "utf8.hpp"

namespace quorlen::core::generated::prompt_definition::toml {
namespace {

// How a container came to exist decides what may still be added to it. The state lives in
// the node's int_value (unused by containers) while reading and is cleared at the end.
enum State : std::int64_t {
  kRoot = 1,
  kImplicit,     // created on the way to a deeper [header]; may still get its own header
  kHeader,       // defined by [header] or [[header]]
  kDotted,       // created by a dotted key; only further dotted keys of its section extend it
  kInline,       // an inline table: closed once written
  kStaticArray,  // an array value: closed once written
  kTableArray,   // built by [[header]]: each header appends a table
};

// Every key and value costs a node of a couple of hundred bytes, so a large text of tiny
// values would need memory many times its size; a prompt definition never comes near this.
// The same bound as the JSON and YAML readers, so no format refuses what another reads.
constexpr std::size_t kMaxNodes = json::detail::max_nodes;

// Tables with many keys get a hash index (its number + 1 in the node's uint_value), so a
// huge table does not make every lookup a linear scan.
constexpr std::size_t kIndexFrom = 16;

struct TransparentHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using KeyIndex = std::unordered_map<std::string, std::size_t, TransparentHash, std::equal_to<>>;

struct KeyPart {
  std::string text;
  const char* begin = nullptr;
  const char* end = nullptr;
  Mark mark;
};

bool is_number_char(char c) { return is_bare_key_char(c) || c == '+' || c == '.'; }

// Eight bytes at a time over long plain stretches (template bodies are most of a definition):
// whether any byte of `w` is below 0x20, or equals `a`, `b` or DEL.
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
inline std::uint64_t zero_byte(std::uint64_t v) { return (v - kOnes) & ~v & kHighs; }
inline bool special_byte(std::uint64_t w, char a, char b) {
  const std::uint64_t below_space = (w - kOnes * 0x20) & ~w & kHighs;
  return (below_space | zero_byte(w ^ (kOnes * static_cast<unsigned char>(a))) |
          zero_byte(w ^ (kOnes * static_cast<unsigned char>(b))) | zero_byte(w ^ (kOnes * 0x7F))) !=
         0;
}
inline std::uint64_t load8(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

Node container(Node::Kind kind, State state, Mark mark) {
  Node node;
  node.kind = kind;
  node.int_value = state;
  node.mark = mark;
  node.end = mark;
  return node;
}

void clear_states(Node& node) {
  if (node.kind == Node::Kind::Mapping) {
    node.int_value = 0;
    node.uint_value = 0;
    for (auto& entry : node.entries) clear_states(entry.second);
  } else if (node.kind == Node::Kind::Sequence) {
    node.int_value = 0;
    for (auto& item : node.items) clear_states(item);
  }
}

class Parser {
 public:
  explicit Parser(std::string_view text)
      : text_(text), p_(text.data()), end_(text.data() + text.size()) {}

  std::expected<Node, Error> run() {
    if (text_.size() >= 0xFFFFFFFFu) {
      return std::unexpected(Error{"the text is too large to read (4 GiB or more)", 0, 1});
    }
    const std::size_t bad = utf8_valid_prefix(text_);
    if (bad != text_.size()) {
      return std::unexpected(Error{"invalid UTF-8", static_cast<std::uint32_t>(bad), 1});
    }
    if (text_.starts_with("\xEF\xBB\xBF")) p_ += 3;
    origin_ = cursor_ = p_;
    Node root = container(Node::Kind::Mapping, kRoot, mark(p_));
    root.entries.reserve(8);
    root_ = &root;
    Node* current = root_;
    int depth = 0;
    while (true) {
      skip_ws();
      if (p_ == end_) break;
      const char c = *p_;
      bool ok = true;
      if (c == '\n') {
        ++p_;
      } else if (c == '\r' && p_ + 1 < end_ && p_[1] == '\n') {
        p_ += 2;
      } else if (c == '#') {
        ok = comment();
      } else if (c == '[') {
        ok = header(current, depth) && end_of_line();
      } else {
        ok = keyval(*current, depth) && end_of_line();
      }
      if (!ok) return std::unexpected(std::move(*error_));
    }
    clear_states(root);
    return root;
  }

 private:
  std::uint32_t offset(const char* at) const {
    return static_cast<std::uint32_t>(at - text_.data());
  }

  bool fail(const char* at, std::size_t width, std::string message) {
    error_ = Error{std::move(message), offset(at),
                   static_cast<std::uint32_t>(std::max<std::size_t>(width, 1))};
    return false;
  }

  bool fail_control(const char* at, std::string_view where) {
    char text[64];
    std::snprintf(text, sizeof text, "control character U+%04X is not allowed ",
                  static_cast<unsigned>(static_cast<unsigned char>(*at)));
    return fail(at, 1, std::string(text).append(where));
  }

  bool unexpected(const char* at, std::string_view expected) {
    const std::string tail = std::string(", expected ").append(expected);
    if (at >= end_) return fail(at, 1, "unexpected end of text" + tail);
    if (at_newline(at)) return fail(at, 1, "unexpected end of line" + tail);
    const auto u = static_cast<unsigned char>(*at);
    if (u < 0x20 || u == 0x7F) return fail_control(at, "here" + tail);
    const std::size_t length = utf8_sequence_length(std::string_view(at, end_ - at));
    return fail(at, length, "unexpected character `" + std::string(at, length) + "`" + tail);
  }

  bool too_deep(const char* at) { return fail(at, 1, "recursion limit exceeded"); }

  bool count_nodes(const char* at, std::size_t n) {
    nodes_ += n;
    if (nodes_ <= kMaxNodes) return true;
    return fail(at, 1, "too many keys and values: a document may hold at most " +
                           std::to_string(kMaxNodes));
  }

  bool duplicate(const KeyPart& key) {
    return fail(key.begin, key.end - key.begin, "duplicate key `" + key.text + "`");
  }

  // Marks are asked for in text order, so one forward cursor keeps counting linear.
  Mark mark(const char* at) {
    if (at < cursor_) {
      cursor_ = origin_;
      line_ = column_ = 1;
    }
    while (at - cursor_ >= 8) {
      const std::uint64_t w = load8(cursor_);
      if ((w & kHighs) != 0 || zero_byte(w ^ (kOnes * '\n')) != 0) break;
      cursor_ += 8;
      column_ += 8;
    }
    for (; cursor_ < at; ++cursor_) {
      if (*cursor_ == '\n') {
        ++line_;
        column_ = 1;
      } else if ((static_cast<unsigned char>(*cursor_) & 0xC0) != 0x80) {
        ++column_;
      }
    }
    return Mark{line_, column_, offset(at)};
  }

  void skip_ws() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t')) ++p_;
  }

  bool comment() {
    for (++p_; p_ < end_; ++p_) {
      const auto u = static_cast<unsigned char>(*p_);
      if (u == '\n') return true;
      if (u == '\r' && p_ + 1 < end_ && p_[1] == '\n') return true;
      if ((u < 0x20 && u != '\t') || u == 0x7F) return fail_control(p_, "in a comment");
    }
    return true;
  }

  // White space, new lines and comments between the parts of an array or inline table.
  bool skip_blank() {
    while (p_ < end_) {
      const char c = *p_;
      if (c == ' ' || c == '\t' || c == '\n') {
        ++p_;
      } else if (c == '\r' && p_ + 1 < end_ && p_[1] == '\n') {
        p_ += 2;
      } else if (c == '#') {
        if (!comment()) return false;
      } else {
        break;
      }
    }
    return true;
  }

  bool end_of_line() {
    skip_ws();
    if (p_ < end_ && *p_ == '#' && !comment()) return false;
    if (p_ == end_) return true;
    if (*p_ == '\n') {
      ++p_;
      return true;
    }
    if (*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n') {
      p_ += 2;
      return true;
    }
    return unexpected(p_, "a new line");
  }

  // ---- tables ----

  std::pair<Node, Node>* find(Node& table, std::string_view key) {
    if (table.uint_value != 0) {
      KeyIndex& index = indexes_[table.uint_value - 1];
      auto it = index.find(key);
      return it == index.end() ? nullptr : &table.entries[it->second];
    }
    for (auto& entry : table.entries) {
      if (entry.first.text == key) return &entry;
    }
    return nullptr;
  }

  Node& add(Node& table, KeyPart&& key, Node&& value) {
    Node key_node;
    key_node.kind = Node::Kind::String;
    key_node.text = std::move(key.text);
    key_node.mark = key_node.end = key.mark;
    table.entries.emplace_back(std::move(key_node), std::move(value));
    const std::size_t size = table.entries.size();
    if (table.uint_value != 0) {
      indexes_[table.uint_value - 1].emplace(table.entries.back().first.text, size - 1);
    } else if (size == kIndexFrom) {
      KeyIndex& index = indexes_.emplace_back();
      for (std::size_t i = 0; i < size; ++i) index.emplace(table.entries[i].first.text, i);
      table.uint_value = indexes_.size();
    }
    return table.entries.back().second;
  }

  bool header(Node*& current, int& depth) {
    const char* start = p_;
    const Mark start_mark = mark(start);
    const bool array = p_ + 1 < end_ && p_[1] == '[';
    p_ += array ? 2 : 1;
    if (!key_path()) return false;
    if (p_ == end_ || *p_ != ']') return unexpected(p_, array ? "`]]`" : "`]`");
    ++p_;
    if (array) {
      if (p_ == end_ || *p_ != ']') return unexpected(p_, "`]]`");
      ++p_;
    }
    Node* table = root_;
    int d = 0;
    for (std::size_t i = 0; i + 1 < parts_.size(); ++i) {
      KeyPart& part = parts_[i];
      if (++d > kMaxDepth) return too_deep(part.begin);
      auto* entry = find(*table, part.text);
      if (entry == nullptr) {
        if (!count_nodes(part.begin, 2)) return false;
        table = &add(*table, std::move(part),
                     container(Node::Kind::Mapping, kImplicit, start_mark));
        continue;
      }
      Node& value = entry->second;
      if (value.kind == Node::Kind::Mapping && value.int_value != kInline) {
        table = &value;
      } else if (value.kind == Node::Kind::Sequence && value.int_value == kTableArray) {
        if (++d > kMaxDepth) return too_deep(part.begin);
        table = &value.items.back();
      } else {
        return duplicate(part);
      }
    }
    KeyPart& last = parts_.back();
    if (++d > kMaxDepth) return too_deep(last.begin);
    auto* entry = find(*table, last.text);
    if (array) {
      Node* tables = nullptr;
      if (entry == nullptr) {
        if (!count_nodes(last.begin, 2)) return false;
        tables = &add(*table, std::move(last),
                      container(Node::Kind::Sequence, kTableArray, start_mark));
      } else if (entry->second.kind == Node::Kind::Sequence &&
                 entry->second.int_value == kTableArray) {
        tables = &entry->second;
      } else {
        return duplicate(last);
      }
      if (++d > kMaxDepth) return too_deep(last.begin);
      if (!count_nodes(last.begin, 1)) return false;
      tables->items.push_back(container(Node::Kind::Mapping, kHeader, start_mark));
      current = &tables->items.back();
    } else if (entry == nullptr) {
      if (!count_nodes(last.begin, 2)) return false;
      current = &add(*table, std::move(last), container(Node::Kind::Mapping, kHeader, start_mark));
    } else if (entry->second.kind == Node::Kind::Mapping && entry->second.int_value == kImplicit) {
      // The table existed only as a step on another header's path; now it is defined here.
      entry->second.int_value = kHeader;
      entry->second.mark = entry->second.end = start_mark;
      current = &entry->second;
    } else {
      return duplicate(last);
    }
    depth = d;
    return true;
  }

  bool keyval(Node& table, int depth) {
    if (!key_path()) return false;
    if (p_ == end_ || *p_ != '=') return unexpected(p_, "`=` after the key");
    ++p_;
    skip_ws();
    Node* target = &table;
    int d = depth;
    for (std::size_t i = 0; i + 1 < parts_.size(); ++i) {
      KeyPart& part = parts_[i];
      if (++d > kMaxDepth) return too_deep(part.begin);
      auto* entry = find(*target, part.text);
      if (entry == nullptr) {
        if (!count_nodes(part.begin, 2)) return false;
        const Mark at = part.mark;
        target = &add(*target, std::move(part), container(Node::Kind::Mapping, kDotted, at));
        continue;
      }
      Node& value = entry->second;
      if (value.kind != Node::Kind::Mapping ||
          (value.int_value != kDotted && value.int_value != kImplicit)) {
        return duplicate(part);
      }
      value.int_value = kDotted;
      target = &value;
    }
    KeyPart last = std::move(parts_.back());
    if (find(*target, last.text) != nullptr) return duplicate(last);
    if (!count_nodes(last.begin, 2)) return false;
    Node value;
    if (!parse_value(value, d + 1)) return false;
    add(*target, std::move(last), std::move(value));
    return true;
  }

  // One or more simple keys joined by dots; leaves p_ after the white space that follows.
  bool key_path() {
    parts_.clear();
    while (true) {
      skip_ws();
      KeyPart& part = parts_.emplace_back();
      if (!simple_key(part)) return false;
      skip_ws();
      if (p_ == end_ || *p_ != '.') return true;
      ++p_;
    }
  }

  bool simple_key(KeyPart& part) {
    part.begin = p_;
    part.mark = mark(p_);
    if (p_ == end_) return unexpected(p_, "a key");
    const char c = *p_;
    if (c == '"' || c == '\'') {
      if (p_ + 2 < end_ && p_[1] == c && p_[2] == c) {
        return fail(p_, 3, "a multi-line string cannot be a key");
      }
      if (!(c == '"' ? basic_string(part.text) : literal_string(part.text))) return false;
    } else if (is_bare_key_char(c)) {
      while (p_ < end_ && is_bare_key_char(*p_)) ++p_;
      part.text.assign(part.begin, p_);
    } else {
      return unexpected(p_, "a key");
    }
    part.end = p_;
    return true;
  }

  // ---- values ----

  bool parse_value(Node& out, int depth) {
    if (p_ == end_) return unexpected(p_, "a value");
    out.mark = out.end = mark(p_);
    const char c = *p_;
    switch (c) {
      case '"':
        out.kind = Node::Kind::String;
        return basic_string(out.text);
      case '\'':
        out.kind = Node::Kind::String;
        return literal_string(out.text);
      case '[':
        return array(out, depth);
      case '{':
        return inline_table(out, depth);
      default:
        if (is_digit(c) || c == '+' || c == '-') return number(out);
        if (is_bare_key_char(c)) return word(out);
        return unexpected(p_, "a value");
    }
  }

  bool array(Node& out, int depth) {
    if (depth > kMaxDepth) return too_deep(p_);
    out.kind = Node::Kind::Sequence;
    out.int_value = kStaticArray;
    ++p_;
    while (true) {
      if (!skip_blank()) return false;
      if (p_ < end_ && *p_ == ']') break;
      if (!count_nodes(p_, 1) || !parse_value(out.items.emplace_back(), depth + 1)) return false;
      if (!skip_blank()) return false;
      if (p_ < end_ && *p_ == ',') {
        ++p_;
        continue;
      }
      if (p_ < end_ && *p_ == ']') break;
      return unexpected(p_, "`,` or `]`");
    }
    out.end = mark(p_);
    ++p_;
    return true;
  }

  // Since TOML 1.1 an inline table may span lines, hold comments and end with a comma. Its
  // end mark stays at the opening brace so a missing field points at the whole table.
  bool inline_table(Node& out, int depth) {
    if (depth > kMaxDepth) return too_deep(p_);
    out.kind = Node::Kind::Mapping;
    out.int_value = kInline;
    ++p_;
    while (true) {
      if (!skip_blank()) return false;
      if (p_ < end_ && *p_ == '}') break;
      if (!keyval(out, depth)) return false;
      if (!skip_blank()) return false;
      if (p_ < end_ && *p_ == ',') {
        ++p_;
        continue;
      }
      if (p_ < end_ && *p_ == '}') break;
      return unexpected(p_, "`,` or `}`");
    }
    ++p_;
    return true;
  }

  // A value written as a bare word: a boolean, inf or nan, or a mistake worth naming.
  bool word(Node& out) {
    const char* q = p_;
    while (q < end_ && is_number_char(*q)) ++q;
    const std::string_view text(p_, q - p_);
    if (text == "true" || text == "false") {
      out.kind = Node::Kind::Bool;
      out.boolean = text == "true";
      p_ = q;
      return true;
    }
    if (text == "inf" || text == "nan") return number(out);
    std::string message = "invalid value `" + std::string(text) +
                          "`, expected a string, number, boolean, date-time, array or inline table";
    if (text == "null") message += " (TOML has no null: leave the key out instead)";
    return fail(p_, text.size(), std::move(message));
  }

  bool invalid_word(const char* at, std::string_view message) {
    const char* q = at;
    while (q < end_ && (is_number_char(*q) || *q == ':')) ++q;
    return fail(at, q - at, std::string(message));
  }

  bool number(Node& out) {
    const std::string_view rest(p_, end_ - p_);
    const bool date = rest.size() >= 5 && is_digit(rest[0]) && is_digit(rest[1]) &&
                      is_digit(rest[2]) && is_digit(rest[3]) && rest[4] == '-';
    const bool time = rest.size() >= 3 && is_digit(rest[0]) && is_digit(rest[1]) && rest[2] == ':';
    if (date || time) {
      const DateTimeScan scan = read_date_time(rest, out.text);
      if (scan.length == 0) return invalid_word(p_, scan.error);
      out.kind = Node::Kind::DateTime;
      p_ += scan.length;
      return true;
    }
    const char* q = p_;
    while (q < end_ && is_number_char(*q)) ++q;
    if (const char* error = read_number(std::string_view(p_, q - p_), out)) {
      return fail(p_, q - p_, error);
    }
    p_ = q;
    return true;
  }

  // ---- strings ----

  // The end of the run of bytes from p_ that a string of this quote takes as they are.
  const char* plain_run(char quote) const {
    const char* p = p_;
    const char other = quote == '"' ? '\\' : quote;
    while (true) {
      while (end_ - p >= 8 && !special_byte(load8(p), quote, other)) p += 8;
      if (p < end_ && (quote == '"' ? plain_basic(*p) : plain_literal(*p))) {
        ++p;
        continue;
      }
      return p;
    }
  }

  static bool plain_basic(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 ? c != '"' && c != '\\' && u != 0x7F : c == '\t';
  }
  static bool plain_literal(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 ? c != '\'' && u != 0x7F : c == '\t';
  }
  bool at_newline(const char* q) const {
    return q < end_ && (*q == '\n' || (*q == '\r' && q + 1 < end_ && q[1] == '\n'));
  }

  bool basic_string(std::string& out) {
    const char* start = p_;
    if (p_ + 2 < end_ && p_[1] == '"' && p_[2] == '"') return multiline_basic(out);
    ++p_;
    while (true) {
      const char* run = p_;
      p_ = plain_run('"');
      out.append(run, p_);
      if (p_ == end_) return fail(start, p_ - start, "unterminated string");
      if (*p_ == '"') {
        ++p_;
        return true;
      }
      if (*p_ == '\\') {
        if (!escape(out)) return false;
        continue;
      }
      if (at_newline(p_)) return fail(start, p_ - start, "unterminated string");
      return fail_control(p_, "in a string");
    }
  }

  bool multiline_basic(std::string& out) {
    const char* start = p_;
    p_ += 3;
    if (at_newline(p_)) p_ += *p_ == '\r' ? 2 : 1;
    while (true) {
      const char* run = p_;
      p_ = plain_run('"');
      out.append(run, p_);
      if (p_ == end_) return fail(start, 3, "unterminated multi-line string");
      const char c = *p_;
      if (c == '"') {
        if (closing_quotes(out, '"')) return true;
        if (error_) return false;
      } else if (c == '\\') {
        const char* q = p_ + 1;
        while (q < end_ && (*q == ' ' || *q == '\t')) ++q;
        if (at_newline(q)) {
          // A line-ending backslash joins the lines: drop the break and the indentation.
          p_ = q;
          while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || at_newline(p_))) ++p_;
        } else if (!escape(out)) {
          return false;
        }
      } else if (at_newline(p_)) {
        // CRLF becomes LF, as the YAML reader does, so one body reads alike in both formats.
        out.push_back('\n');
        p_ += c == '\r' ? 2 : 1;
      } else {
        return fail_control(p_, "in a string");
      }
    }
  }

  // At a run of quotes inside a multi-line string: three to five end it (up to two belong to
  // the content); fewer are content. Returns true when the string ended.
  bool closing_quotes(std::string& out, char quote) {
    std::size_t count = 0;
    while (p_ + count < end_ && p_[count] == quote) ++count;
    if (count > 5) {
      fail(p_, count, "too many quotes at the end of a multi-line string");
      return false;
    }
    if (count >= 3) {
      out.append(count - 3, quote);
      p_ += count;
      return true;
    }
    out.append(count, quote);
    p_ += count;
    return false;
  }

  bool literal_string(std::string& out) {
    const char* start = p_;
    if (p_ + 2 < end_ && p_[1] == '\'' && p_[2] == '\'') return multiline_literal(out);
    ++p_;
    const char* run = p_;
    p_ = plain_run('\'');
    out.append(run, p_);
    if (p_ < end_ && *p_ == '\'') {
      ++p_;
      return true;
    }
    if (p_ == end_ || at_newline(p_)) return fail(start, p_ - start, "unterminated string");
    return fail_control(p_, "in a string");
  }

  bool multiline_literal(std::string& out) {
    const char* start = p_;
    p_ += 3;
    if (at_newline(p_)) p_ += *p_ == '\r' ? 2 : 1;
    while (true) {
      const char* run = p_;
      p_ = plain_run('\'');
      out.append(run, p_);
      if (p_ == end_) return fail(start, 3, "unterminated multi-line string");
      if (*p_ == '\'') {
        if (closing_quotes(out, '\'')) return true;
        if (error_) return false;
      } else if (at_newline(p_)) {
        out.push_back('\n');
        p_ += *p_ == '\r' ? 2 : 1;
      } else {
        return fail_control(p_, "in a string");
      }
    }
  }

  bool escape(std::string& out) {
    const char* at = p_;
    if (p_ + 1 >= end_) return fail(at, 1, "unterminated string");
    const char c = p_[1];
    p_ += 2;
    switch (c) {
      case 'b': out.push_back('\b'); return true;
      case 't': out.push_back('\t'); return true;
      case 'n': out.push_back('\n'); return true;
      case 'f': out.push_back('\f'); return true;
      case 'r': out.push_back('\r'); return true;
      case 'e': out.push_back('\x1B'); return true;
      case '"': out.push_back('"'); return true;
      case '\\': out.push_back('\\'); return true;
      case 'x': return hex_escape(at, 2, out);
      case 'u': return hex_escape(at, 4, out);
      case 'U': return hex_escape(at, 8, out);
      default: {
        const std::size_t length = utf8_sequence_length(std::string_view(at + 1, end_ - at - 1));
        if (length == 0 || static_cast<unsigned char>(c) < 0x20) {
          return fail(at, 2, "invalid escape sequence");
        }
        return fail(at, 1 + length,
                    std::string("invalid escape sequence `\\").append(at + 1, length).append("`"));
      }
    }
  }

  bool hex_escape(const char* at, int digits, std::string& out) {
    char32_t value = 0;
    for (int i = 0; i < digits; ++i) {
      const char c = p_ < end_ ? *p_ : '\0';
      int d = -1;
      if (c >= '0' && c <= '9') d = c - '0';
      if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      if (d < 0) {
        return fail(at, p_ - at,
                    "invalid escape sequence: expected " + std::to_string(digits) +
                        " hexadecimal digits");
      }
      value = value * 16 + static_cast<char32_t>(d);
      ++p_;
    }
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return fail(at, p_ - at, "invalid escape sequence: not a Unicode scalar value");
    }
    core::detail::append_utf8(out, value);
    return true;
  }

  std::string_view text_;
  const char* p_;
  const char* end_;
  const char* origin_ = nullptr;  // where columns start counting (after a byte order mark)
  const char* cursor_ = nullptr;
  std::uint32_t line_ = 1;
  std::uint32_t column_ = 1;
  Node* root_ = nullptr;
  std::size_t nodes_ = 1;
  std::optional<Error> error_;
  std::vector<KeyPart> parts_;
  std::vector<KeyIndex> indexes_;
};

}  // namespace

std::expected<Node, Error> parse(std::string_view text) { return Parser(text).run(); }

}  // namespace quorlen::core::generated::prompt_definition::toml

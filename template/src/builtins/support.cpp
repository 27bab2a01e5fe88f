#include "builtins/support.hpp"

#include <utf8proc.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "limits.hpp"
#include "objects.hpp"

namespace jinja::builtins {

namespace {

struct SpecialCase {
  std::int32_t code;
  const char* lower;
  const char* title;
  const char* upper;
};

constexpr SpecialCase kSpecialCases[] = {
#include "builtins/multi_char_casing.inc"
};

const SpecialCase* special_case(std::int32_t cp) {
  if (cp < 0xDF) return nullptr;
  auto it = std::lower_bound(std::begin(kSpecialCases), std::end(kSpecialCases), cp,
                             [](const SpecialCase& s, std::int32_t c) { return s.code < c; });
  return it != std::end(kSpecialCases) && it->code == cp ? &*it : nullptr;
}

// Decodes one character; an invalid byte stands for itself.
std::int32_t decode(std::string_view s, std::size_t& i) {
  utf8proc_int32_t cp;
  auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + i),
                            static_cast<utf8proc_ssize_t>(s.size() - i), &cp);
  if (n <= 0) {
    cp = -static_cast<unsigned char>(s[i]) - 1;  // marks a raw byte
    n = 1;
  }
  i += static_cast<std::size_t>(n);
  return cp;
}

void encode(std::string& out, std::int32_t cp) {
  if (cp < 0) {
    out.push_back(static_cast<char>(-(cp + 1)));
    return;
  }
  utf8proc_uint8_t buf[4];
  auto n = utf8proc_encode_char(cp, buf);
  out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
}

enum class Case { Lower, Title, Upper };

constexpr std::int32_t kCapitalSigma = 0x3A3;
constexpr std::int32_t kFinalSigma = 0x3C2;

// A letter with case: what the final-sigma rule looks for around a capital sigma.
bool is_cased(std::int32_t cp) {
  if (cp < 0) return false;
  auto cat = utf8proc_category(cp);
  return cat == UTF8PROC_CATEGORY_LU || cat == UTF8PROC_CATEGORY_LL ||
         cat == UTF8PROC_CATEGORY_LT || utf8proc_tolower(cp) != cp || utf8proc_toupper(cp) != cp;
}

// Marks, format characters, modifiers and the in-word punctuation the rule looks through.
bool is_case_ignorable(std::int32_t cp) {
  switch (cp) {
    case '\'': case '.': case ':': case 0xB7: case 0x387: case 0x5F4: case 0x2018: case 0x2019:
    case 0x2024: case 0x2027: case 0xFE13: case 0xFE52: case 0xFE55: case 0xFF07: case 0xFF0E:
    case 0xFF1A:
      return true;
    default:
      break;
  }
  if (cp < 0x80) return cp == '^' || cp == '`';
  auto cat = utf8proc_category(cp);
  return cat == UTF8PROC_CATEGORY_MN || cat == UTF8PROC_CATEGORY_ME ||
         cat == UTF8PROC_CATEGORY_CF || cat == UTF8PROC_CATEGORY_LM ||
         cat == UTF8PROC_CATEGORY_SK;
}

// Whether the capital sigma at s[start, end) ends a word, so that it lowers to the final form
// as Python's str.lower does: a cased letter before it and none after it, looking through
// case-ignorable characters on both sides. Each scan stops at the next cased letter, so a
// text full of sigmas is still read a bounded number of times.
bool is_final_sigma(std::string_view s, std::size_t start, std::size_t end) {
  bool cased_before = false;
  for (std::size_t at = start; at > 0;) {
    std::size_t from = at - 1;
    while (from > 0 && at - from < 4 && (static_cast<unsigned char>(s[from]) & 0xC0) == 0x80) {
      --from;
    }
    std::size_t next = from;
    std::int32_t cp = decode(s, next);
    if (next != at) cp = -1;  // a stray continuation byte: neither cased nor ignorable
    if (!is_case_ignorable(cp)) {
      cased_before = is_cased(cp);
      break;
    }
    at = from;
  }
  if (!cased_before) return false;
  for (std::size_t i = end; i < s.size();) {
    std::int32_t cp = decode(s, i);
    if (!is_case_ignorable(cp)) return !is_cased(cp);
  }
  return true;
}

void append_cased(std::string& out, std::int32_t cp, Case c) {
  if (cp < 0) {
    encode(out, cp);
    return;
  }
  if (cp < 0x80) {
    char ch = static_cast<char>(cp);
    if (c == Case::Lower && ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    if (c != Case::Lower && ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    out.push_back(ch);
    return;
  }
  if (const SpecialCase* s = special_case(cp)) {
    const char* full = c == Case::Lower ? s->lower : c == Case::Title ? s->title : s->upper;
    if (full) {
      out += full;
      return;
    }
  }
  encode(out, c == Case::Lower   ? utf8proc_tolower(cp)
              : c == Case::Title ? utf8proc_totitle(cp)
                                 : utf8proc_toupper(cp));
}

// Lower-cases the character at s[i] and steps past it; the sigma depends on its neighbours.
void append_lowered(std::string& out, std::string_view s, std::size_t& i) {
  std::size_t start = i;
  std::int32_t cp = decode(s, i);
  if (cp == kCapitalSigma && is_final_sigma(s, start, i)) {
    encode(out, kFinalSigma);
  } else {
    append_cased(out, cp, Case::Lower);
  }
}

bool is_space_cp(std::int32_t cp) {
  if (cp < 0) return false;
  if (cp == ' ' || (cp >= 0x09 && cp <= 0x0D) || (cp >= 0x1C && cp <= 0x1F) || cp == 0x85) {
    return true;
  }
  if (cp < 0x80) return false;
  auto cat = utf8proc_category(cp);
  return cat == UTF8PROC_CATEGORY_ZS || cat == UTF8PROC_CATEGORY_ZL ||
         cat == UTF8PROC_CATEGORY_ZP;
}

bool contains_char(std::string_view set, std::string_view ch) {
  for (std::size_t i = 0; i < set.size();) {
    std::size_t start = i;
    decode(set, i);
    if (set.substr(start, i - start) == ch) return true;
  }
  return false;
}

// Unicode case folding, so that "ß" sorts with "ss" and "Straße" with "STRASSE".
std::string fold(std::string_view s) {
  bool ascii = true;
  for (char c : s) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    std::string out(s);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
  }
  utf8proc_uint8_t* folded = nullptr;
  auto n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(s.data()),
                        static_cast<utf8proc_ssize_t>(s.size()), &folded, UTF8PROC_CASEFOLD);
  if (n < 0) return lower_text(s);  // invalid UTF-8: fold what can be folded
  std::string out(reinterpret_cast<const char*>(folded), static_cast<std::size_t>(n));
  std::free(folded);
  return out;
}

}  // namespace

Items items_of(const State& state, const Value& v) {
  if (auto r = state.require_defined(v); !r) return pass(r.error());
  if (v.kind() == Value::Kind::None) return std::vector<Value>{};
  return state.iterate(v);
}

std::expected<ItemsView, Error> view_items(const State& state, const Value& v) {
  if (v.kind() == Value::Kind::Seq) {
    // Borrowed, not copied, but walked all the same.
    if (auto r = state.charge(v.as_seq().size() * limits::kElementWork); !r) return pass(r.error());
    return ItemsView::borrow(v.as_seq());
  }
  auto items = items_of(state, v);
  if (!items) return pass(items.error());
  return ItemsView::own(std::move(*items));
}

std::expected<std::string, Error> text_of(const State& state, const Value& v) {
  if (auto r = state.require_defined(v); !r) return pass(r.error());
  if (v.kind() == Value::Kind::String) return std::string(v.as_string());
  return to_output_string(v);
}

std::expected<std::int64_t, Error> int_arg(const Value& v, std::string_view what) {
  switch (v.kind()) {
    case Value::Kind::Int: return v.as_int();
    case Value::Kind::Bool: return v.as_bool() ? 1 : 0;
    case Value::Kind::Undefined: return fail(ErrorKind::UndefinedError);
    case Value::Kind::UInt:
      return fail(ErrorKind::InvalidOperation, std::string(what) + " is out of range");
    default:
      return fail(ErrorKind::InvalidOperation, std::string(what) + " must be an integer, not " +
                                                   std::string(kind_name(v)));
  }
}

std::expected<std::size_t, Error> count_arg(const Value& v, std::string_view what) {
  auto n = int_arg(v, what);
  if (!n) return pass(n.error());
  if (*n < 0) return fail(ErrorKind::InvalidOperation, std::string(what) + " cannot be negative");
  return static_cast<std::size_t>(*n);
}

bool flag_arg(const Value& v, bool fallback) {
  if (v.is_undefined() || v.kind() == Value::Kind::None) return fallback;
  return is_truthy(v);
}

Value lookup_path(const State& state, const Value& item, const Value& path) {
  if (path.kind() != Value::Kind::String) return state.get_item(item, path);
  Value current = item;
  std::string_view rest = path.as_string();
  while (true) {
    std::size_t dot = rest.find('.');
    std::string_view part = rest.substr(0, dot);
    if (current.is_undefined()) return current;
    std::int64_t index = 0;
    auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), index);
    if (!part.empty() && ec == std::errc() && ptr == part.data() + part.size() &&
        current.kind() == Value::Kind::Seq) {
      current = state.get_item(current, Value::from_int(index));
    } else {
      current = state.get_attr(current, part);
    }
    if (dot == std::string_view::npos) return current;
    rest.remove_prefix(dot + 1);
  }
}

Value comparable(const Value& v, bool case_sensitive) {
  if (case_sensitive) return v;
  if (v.kind() == Value::Kind::String) return Value::from_string(fold(v.as_string()));
  if (v.kind() == Value::Kind::Seq) {
    bool has_text = false;
    for (const Value& item : v.as_seq()) has_text = has_text || item.kind() == Value::Kind::String || item.kind() == Value::Kind::Seq;
    if (!has_text) return v;
    std::vector<Value> parts;
    parts.reserve(v.as_seq().size());
    for (const Value& item : v.as_seq()) parts.push_back(comparable(item, false));
    return Value::from_seq(std::move(parts));
  }
  return v;
}

std::vector<std::string_view> characters_of(std::string_view s) {
  std::vector<std::string_view> out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::size_t start = i;
    decode(s, i);
    out.push_back(s.substr(start, i - start));
  }
  return out;
}

std::string lower_text(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) append_lowered(out, s, i);
  return out;
}

std::string upper_text(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) append_cased(out, decode(s, i), Case::Upper);
  return out;
}

std::string title_text(std::string_view s) {
  // Words begin after white space, '-', and opening brackets, as Jinja splits them.
  std::string out;
  out.reserve(s.size());
  bool word_start = true;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t start = i;
    std::int32_t cp = decode(s, i);
    if (cp == '-' || cp == '(' || cp == '{' || cp == '[' || cp == '<' || is_space_cp(cp)) {
      encode(out, cp);
      word_start = true;
    } else if (word_start) {
      append_cased(out, cp, Case::Upper);
      word_start = false;
    } else {
      i = start;
      append_lowered(out, s, i);
    }
  }
  return out;
}

std::string capitalize_text(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    if (i == 0) {
      append_cased(out, decode(s, i), Case::Title);
    } else {
      append_lowered(out, s, i);
    }
  }
  return out;
}

bool is_space_char(std::string_view ch) {
  std::size_t i = 0;
  return !ch.empty() && is_space_cp(decode(ch, i));
}

std::string_view strip_text(std::string_view s, const std::string_view* chars, bool left,
                            bool right) {
  auto strippable = [&](std::string_view ch) {
    return chars ? contains_char(*chars, ch) : is_space_char(ch);
  };
  if (left) {
    std::size_t i = 0;
    while (i < s.size()) {
      std::size_t start = i;
      decode(s, i);
      if (!strippable(s.substr(start, i - start))) {
        i = start;
        break;
      }
    }
    s.remove_prefix(i);
  }
  if (right) {
    while (!s.empty()) {
      std::size_t start = s.size() - 1;
      while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
      if (!strippable(s.substr(start))) break;
      s.remove_suffix(s.size() - start);
    }
  }
  return s;
}

std::vector<Value> split_text(std::string_view s, const std::string_view* sep,
                              std::int64_t max_splits) {
  std::vector<Value> out;
  auto add = [&](std::string_view part) { out.push_back(Value::from_string(std::string(part))); };
  auto may_split = [&] { return max_splits < 0 || static_cast<std::int64_t>(out.size()) < max_splits; };
  if (!sep) {
    // Runs of white space separate words; what is left after the last split keeps its
    // trailing white space, as in Python.
    auto skip = [&](std::size_t i, bool space) {
      while (i < s.size()) {
        std::size_t next = i;
        if (is_space_cp(decode(s, next)) != space) break;
        i = next;
      }
      return i;
    };
    std::size_t i = skip(0, true);
    while (i < s.size()) {
      if (!may_split()) {
        add(s.substr(i));
        break;
      }
      std::size_t end = skip(i, false);
      add(s.substr(i, end - i));
      i = skip(end, true);
    }
    return out;
  }
  if (max_splits == 0) {
    add(s);
    return out;
  }
  if (sep->empty()) {
    add({});
    std::size_t i = 0;
    while (i < s.size() && may_split()) {
      std::size_t start = i;
      decode(s, i);
      add(s.substr(start, i - start));
    }
    add(s.substr(i));
    return out;
  }
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = may_split() ? s.find(*sep, pos) : std::string_view::npos;
    if (hit == std::string_view::npos) {
      add(s.substr(pos));
      return out;
    }
    add(s.substr(pos, hit - pos));
    pos = hit + sep->size();
  }
}

std::expected<std::string, Error> replace_text(const State& state, std::string_view s,
                                               std::string_view from, std::string_view to,
                                               std::int64_t count) {
  std::string out;
  std::int64_t done = 0;
  auto room = [&] { return count < 0 || done < count; };
  if (from.empty()) {
    std::size_t i = 0;
    while (true) {
      if (room()) {
        out += to;
        ++done;
      }
      if (auto r = state.check_string_size(out.size() + s.size()); !r) return pass(r.error());
      if (i >= s.size()) break;
      std::size_t start = i;
      decode(s, i);
      out += s.substr(start, i - start);
    }
    return out;
  }
  std::size_t pos = 0;
  while (room()) {
    std::size_t hit = s.find(from, pos);
    if (hit == std::string_view::npos) break;
    out += s.substr(pos, hit - pos);
    out += to;
    ++done;
    pos = hit + from.size();
    if (auto r = state.check_string_size(out.size()); !r) return pass(r.error());
  }
  out += s.substr(pos);
  if (auto r = state.check_string_size(out.size()); !r) return pass(r.error());
  return out;
}

Value keep_safe(const Value& source, std::string text) {
  return Value::from_string(std::move(text), source.is_safe());
}

}  // namespace jinja::builtins

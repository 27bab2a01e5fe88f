// Helpers shared by the builtin filters, tests and methods: argument conversion, iteration,
// attribute paths, ordering and UTF-8 text.
#pragma once

#include <compare>
#include <utility>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "builtins/registry.hpp"

namespace jinja::builtins {

using Result = std::expected<Value, Error>;
using Check = std::expected<bool, Error>;
using Items = std::expected<std::vector<Value>, Error>;

inline std::unexpected<Error> pass(const Error& e) { return std::unexpected(e); }

// The elements a filter works on: a sequence's items, a map's keys, a string's characters;
// none gives nothing. Undefined fails as undefined, other kinds as not iterable.
Items items_of(const State& state, const Value& v);

// The same elements, borrowing a sequence's items instead of copying them.
class ItemsView {
 public:
  static ItemsView borrow(const std::vector<Value>& items) { return ItemsView(&items, {}); }
  static ItemsView own(std::vector<Value> items) { return ItemsView(nullptr, std::move(items)); }
  ItemsView(const ItemsView&) = delete;
  ItemsView(ItemsView&& other) noexcept
      : borrowed_(other.borrowed_), owned_(std::move(other.owned_)) {}
  const std::vector<Value>& get() const { return borrowed_ ? *borrowed_ : owned_; }

 private:
  ItemsView(const std::vector<Value>* borrowed, std::vector<Value> owned)
      : borrowed_(borrowed), owned_(std::move(owned)) {}
  const std::vector<Value>* borrowed_ = nullptr;
  std::vector<Value> owned_;
};
std::expected<ItemsView, Error> view_items(const State& state, const Value& v);

// The text of a defined value (strings as they are, other values as they print).
std::expected<std::string, Error> text_of(const State& state, const Value& v);

// An integer argument (bools count as 0/1, integral floats are refused like other kinds).
std::expected<std::int64_t, Error> int_arg(const Value& v, std::string_view what);
// A count argument: a non-negative integer.
std::expected<std::size_t, Error> count_arg(const Value& v, std::string_view what);
// A boolean flag: absent -> fallback, otherwise its truth.
bool flag_arg(const Value& v, bool fallback);

// Looks up `path` in `item`: a string of dot-separated segments (a segment of digits indexes
// a sequence), or an integer index. Undefined when any step is missing.
Value lookup_path(const State& state, const Value& item, const Value& path);

// The key by which sort, dictsort, min, max, unique and groupby compare a value: strings
// case-folded unless `case_sensitive` (inside sequences too); keys compare with compare_values.
Value comparable(const Value& v, bool case_sensitive);

// UTF-8 text.
std::vector<std::string_view> characters_of(std::string_view s);
std::string lower_text(std::string_view s);
std::string upper_text(std::string_view s);
std::string title_text(std::string_view s);       // word starts upper, the rest lower
std::string capitalize_text(std::string_view s);  // first character title case, rest lower
bool is_space_char(std::string_view ch);          // one UTF-8 character
// Strips characters of `chars` (white space when `chars` is null) from the chosen ends.
std::string_view strip_text(std::string_view s, const std::string_view* chars, bool left,
                            bool right);
// Python's str.split: by white space when `sep` is null, else by `sep`; `max_splits` < 0
// means no limit. An empty separator splits around every character.
std::vector<Value> split_text(std::string_view s, const std::string_view* sep,
                              std::int64_t max_splits);
// Replaces up to `count` (< 0: all) occurrences; an empty `from` inserts between characters.
std::expected<std::string, Error> replace_text(const State& state, std::string_view s,
                                               std::string_view from, std::string_view to,
                                               std::int64_t count);
// A string value that keeps the safe marker of `source`.
Value keep_safe(const Value& source, std::string text);

// printf-style formatting (`format` filter) and Python's str.format.
Result printf_format(const State& state, std::string_view fmt, std::span<const Value> args,
                     const Value& named);
Result python_format(const State& state, std::string_view fmt, std::span<const Value> args,
                     std::span<const Kwarg> named);

// Groups of the standard set.
void register_string_filters(Registry& registry);
void register_sequence_filters(Registry& registry);
void register_select_filters(Registry& registry);
void register_number_filters(Registry& registry);

}  // namespace jinja::builtins

// Small builders shared by the consumer tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "quorlen/consumer/prompt.hpp"
#include "quorlen/core/generated/prompt_definition/read.hpp"

namespace quorlen::consumer {

inline void PrintTo(const FieldError& row, std::ostream* os) {
  *os << "{" << row.field << " | " << row.code << " | " << row.message << "}";
}

inline void PrintTo(const ConsumerError& error, std::ostream* os) {
  *os << "kind " << static_cast<int>(error.kind) << " text \"" << error.text << "\" rows";
  for (const FieldError& row : error.rows) PrintTo(row, os);
}

}  // namespace quorlen::consumer

namespace quorlen::consumer::testing {

namespace pd = core::generated::prompt_definition;

inline PromptDefinition parse_definition(std::string_view json_text) {
  auto read = pd::read_json_text(json_text);
  EXPECT_TRUE(read.has_value()) << read.error() << "\n" << json_text;
  return std::move(*read);
}

inline Prompt make_prompt(std::string_view json_text) {
  auto prompt = Prompt::create(parse_definition(json_text));
  EXPECT_TRUE(prompt.has_value()) << (prompt ? "" : prompt.error().as_rows()[0].message);
  return std::move(*prompt);
}

inline PromptVariable variable(bool trusted) {
  return PromptVariable{std::nullopt, trusted,
                        {pd::PromptVariableTypeString::String}, false};
}

// Every insertion order of `names`, each also with a tiny and a roomy bucket table, so
// that hash-map iteration order really varies between the variants of one definition.
template <class Build>
void for_each_map_order(std::vector<std::string> names, Build build) {
  std::ranges::sort(names);
  do {
    for (std::size_t buckets : {1u, 7u, 64u}) build(names, buckets);
  } while (std::ranges::next_permutation(names).found);
}

// The single Render row that every consumer failure carries.
inline FieldError only_row(const ConsumerError& error) {
  EXPECT_EQ(error.kind, ConsumerError::Kind::Render);
  if (error.rows.size() != 1) {
    ADD_FAILURE() << "expected exactly one row, got " << error.rows.size();
    return {};
  }
  return error.rows.front();
}

}  // namespace quorlen::consumer::testing

// The advisory lint of a constructed prompt: untrusted variables while no guard is
// configured. It never renders and never fails.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "quorlen/consumer/prompt.hpp"

namespace quorlen::consumer {

// A variable declared `trusted: false` while the prompt's metadata has no `guard` key.
struct UntrustedWithoutGuard {
  std::string variable;
  friend bool operator==(const UntrustedWithoutGuard&, const UntrustedWithoutGuard&) = default;
};

// Closed set of finding kinds; each carries its datum.
using FindingKind = std::variant<UntrustedWithoutGuard>;

// The stable snake_case discriminant, e.g. "untrusted_without_guard".
std::string_view to_string(const FindingKind& kind);

struct Finding {
  std::string prompt;                  // the prompt's name
  FindingKind kind;
  std::string detail;                  // names only, never values
  std::optional<std::string> variant;  // absent for prompt-level findings
  friend bool operator==(const Finding&, const Finding&) = default;
};

struct CheckReport {
  std::vector<Finding> findings;
  bool passed() const { return findings.empty(); }
  friend bool operator==(const CheckReport&, const CheckReport&) = default;
};

// One finding per untrusted variable, in ascending byte order of the names, unless the
// top-level metadata has a `guard` key (whatever its value).
CheckReport check(const Prompt& prompt);

}  // namespace quorlen::consumer

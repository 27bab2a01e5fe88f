#include "quorlen/consumer/check.hpp"

#include <algorithm>

#include "quorlen/core/origin.hpp"

namespace quorlen::consumer {

std::string_view to_string(const FindingKind& kind) {
  return std::visit(
      [](const UntrustedWithoutGuard&) -> std::string_view { return "untrusted_without_guard"; },
      kind);
}

CheckReport check(const Prompt& prompt) {
  CheckReport report;
  // Only the key's presence counts: a `guard` of null or false still means the author
  // thought about it.
  if (prompt.metadata().contains("guard")) return report;
  std::vector<std::string> untrusted = core::untrusted_fields(prompt.definition());
  std::ranges::sort(untrusted);  // cheap, and the order is part of the contract
  report.findings.reserve(untrusted.size());
  for (std::string& name : untrusted) {
    std::string detail = "field `" + name +
                         "` is declared untrusted (`trusted: false`) but the prompt configures "
                         "no guard (add a `guard` key under the prompt's `metadata`)";
    report.findings.push_back(
        Finding{prompt.name(), UntrustedWithoutGuard{std::move(name)}, std::move(detail), {}});
  }
  return report;
}

}  // namespace quorlen::consumer

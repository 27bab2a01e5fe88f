// What an environment holds; shared by the evaluator and the template objects.
#pragma once

#include <jinja/jinja.hpp>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "state.hpp"

namespace jinja {

class Registry;

struct Environment::Impl {
  const Registry* registry = nullptr;
  std::vector<std::pair<std::string, FilterFn>> user_filters;
  std::vector<std::pair<std::string, std::unique_ptr<Template>>> templates;

  const FilterFn* user_filter(std::string_view name) const {
    for (const auto& [n, fn] : user_filters) {
      if (n == name) return &fn;
    }
    return nullptr;
  }
};

struct Template::Impl {
  TemplateData data;
  const Environment::Impl* env = nullptr;
};

}  // namespace jinja

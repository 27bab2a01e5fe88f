#include "environment.hpp"

#include <algorithm>

#include "analysis.hpp"
#include "builtins/registry.hpp"
#include "parser.hpp"

namespace jinja {

Environment::Environment() : impl_(std::make_unique<Impl>()) {
  impl_->registry = &Registry::standard();
}

Environment::~Environment() = default;

void Environment::add_filter(std::string name, FilterFn fn) {
  for (auto& [n, f] : impl_->user_filters) {
    if (n == name) {
      f = std::move(fn);
      return;
    }
  }
  impl_->user_filters.emplace_back(std::move(name), std::move(fn));
}

std::expected<void, Error> Environment::add_template(std::string name, std::string source) {
  // One line ending at the very end of the source is not part of the output.
  if (!source.empty() && source.back() == '\n') source.pop_back();
  if (!source.empty() && source.back() == '\r') source.pop_back();
  auto impl = std::make_unique<Template::Impl>();
  impl->data.name = name;
  impl->data.source = std::move(source);
  impl->env = impl_.get();
  auto ast = parse_template(impl->data.source);
  if (!ast) {
    Error e = std::move(ast.error());
    e.template_name = std::move(name);
    return std::unexpected(std::move(e));
  }
  impl->data.ast = std::move(*ast);
  auto tpl = std::make_unique<Template>(std::move(impl));
  for (auto& [n, t] : impl_->templates) {
    if (n == name) {
      t = std::move(tpl);
      return {};
    }
  }
  impl_->templates.emplace_back(std::move(name), std::move(tpl));
  return {};
}

std::expected<const Template*, Error> Environment::get_template(std::string_view name) const {
  for (const auto& [n, t] : impl_->templates) {
    if (n == name) return t.get();
  }
  return std::unexpected(Error{ErrorKind::TemplateNotFound,
                               "template " + std::string(name) + " does not exist", std::nullopt,
                               0});
}

std::vector<std::string> Environment::global_names() const {
  return impl_->registry->global_names();
}

Template::Template(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Template::~Template() = default;

std::expected<std::string, Error> Template::render(Value context) const {
  State state(*impl_->env, impl_->data, std::move(context));
  return state.render();
}

std::vector<std::string> Template::undeclared_variables() const {
  return analyze_undeclared(impl_->data.ast);
}

}  // namespace jinja

// The global functions: range, dict, debug, namespace.
#include "builtins/registry.hpp"
#include "limits.hpp"
#include "objects.hpp"

namespace jinja {

namespace {

std::expected<std::int64_t, Error> int_arg(const Value& v) {
  if (v.kind() == Value::Kind::Int) return v.as_int();
  if (v.is_undefined()) return fail(ErrorKind::UndefinedError);
  return fail(ErrorKind::InvalidOperation, "range arguments must be integers");
}

std::expected<Value, Error> range(State&, Args& args) {
  auto first = args.require(0);
  if (!first) return first;
  Value second = args.get(1), third = args.get(2);
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  std::int64_t start = 0, stop = 0, step = 1;
  auto a = int_arg(*first);
  if (!a) return std::unexpected(a.error());
  if (second.is_undefined()) {
    stop = *a;
  } else {
    start = *a;
    auto b = int_arg(second);
    if (!b) return std::unexpected(b.error());
    stop = *b;
    if (!third.is_undefined()) {
      auto c = int_arg(third);
      if (!c) return std::unexpected(c.error());
      step = *c;
    }
  }
  if (step == 0) return fail(ErrorKind::InvalidOperation, "cannot create range with step of 0");
  __extension__ typedef __int128 Int128;
  Int128 span = step > 0 ? Int128{stop} - start : Int128{start} - stop;
  Int128 abs_step = step > 0 ? Int128{step} : -Int128{step};
  Int128 count = span <= 0 ? 0 : (span + abs_step - 1) / abs_step;
  if (count > static_cast<Int128>(limits::kMaxRangeLength)) {
    return fail(ErrorKind::LimitExceeded, "range has too many elements");
  }
  std::vector<Value> out;
  out.reserve(static_cast<std::size_t>(count));
  for (Int128 i = 0; i < count; ++i) {
    out.push_back(Value::from_int(static_cast<std::int64_t>(start + i * step)));
  }
  return Value::from_seq(std::move(out));
}

// Entries of an optional positional map followed by the keyword arguments.
std::expected<Value::Entries, Error> entries_from(Args& args) {
  Value base = args.get(0);
  Value::Entries entries;
  if (!base.is_undefined()) {
    if (base.kind() == Value::Kind::Map) {
      entries = base.as_map();
    } else if (as_object(base) && as_object(base)->entries()) {
      entries = *as_object(base)->entries();
    } else {
      return fail(ErrorKind::InvalidOperation, "expected a map as positional argument");
    }
  }
  for (const auto& [name, value] : args.keywords()) {
    entries.emplace_back(Value::from_string(std::string(name)), value);
  }
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  return entries;
}

std::expected<Value, Error> dict(State&, Args& args) {
  auto entries = entries_from(args);
  if (!entries) return std::unexpected(entries.error());
  return make_map(std::move(*entries));
}

std::expected<Value, Error> namespace_fn(State&, Args& args) {
  auto entries = entries_from(args);
  if (!entries) return std::unexpected(entries.error());
  Value sorted = make_map(std::move(*entries));
  return ValueAccess::make_namespace(std::make_shared<NamespaceObject>(sorted.as_map()));
}

std::expected<Value, Error> debug(State& state, Args& args) {
  if (auto d = args.done(); !d) return std::unexpected(d.error());
  return Value::from_string(repr(state.visible_variables()));
}

}  // namespace

void register_globals(Registry& registry) {
  registry.add_global("range", range);
  registry.add_global("dict", dict);
  registry.add_global("debug", debug);
  registry.add_global("namespace", namespace_fn);
}

}  // namespace jinja

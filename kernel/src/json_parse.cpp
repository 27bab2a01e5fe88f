#include "json_scanner.hpp"

namespace quorlen::core::json {

namespace {

using detail::Number;
using detail::Position;

struct ValueSink {
  static void null(Value& out, Position) { out.v = Null{}; }
  static void boolean(Value& out, bool b, Position) { out.v = b; }
  static void number(Value& out, const Number& n, Position) {
    switch (n.kind) {
      case Number::Kind::Negative:
        out.v = n.negative;
        break;
      case Number::Kind::NonNegative:
        out.v = n.non_negative;
        break;
      case Number::Kind::Float:
        out.v = n.floating;
        break;
    }
  }
  static std::string& string(Value& out, Position) { return out.v.emplace<std::string>(); }
  static void begin_array(Value& out, Position) { out.v.emplace<Array>(); }
  static Value& push(Value& array) { return std::get<Array>(array.v).emplace_back(); }
  static void begin_object(Value& out, Position) { out.v.emplace<Object>(); }
  static Value& entry(Value& object, std::string&& key, Position) {
    // A repeated key replaces the earlier value.
    auto& map = std::get<Object>(object.v);
    auto [it, inserted] = map.try_emplace(std::move(key));
    if (!inserted) it->second = Value{};
    return it->second;
  }
  static void end(Value&, Position) {}
};

}  // namespace

std::expected<Value, ParseError> parse(std::string_view text) {
  detail::Parser<ValueSink, Value> parser(text);
  Value out;
  if (!parser.document(out)) return std::unexpected(parser.take_error());
  return out;
}

std::string ParseError::to_string() const {
  return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

}  // namespace quorlen::core::json

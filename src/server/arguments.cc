#include "server/arguments.h"

#include <charconv>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/convert.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "platform/text_util.h"
#include "server/flat_arguments.h"
#include "server/json_codec.h"
#include "server/request_error.h"

namespace lxm::server {

namespace {

std::string Describe(const ParamInfo& param, size_t position) {
  return "argument " + std::to_string(position + 1) + " (" + param.name + ")";
}

[[noreturn]] void Refuse(const ParamInfo& param, size_t position, const Variant& value) {
  throw RequestError(400, "bad_arguments",
                     Describe(param, position) + " must be a " +
                         std::string(ValueTypeName(param.type)) + "; a " +
                         std::string(KindName(value.kind())) + " was given.");
}

bool IsScalar(const Variant& value) {
  return !value.IsObject() && value.kind() != VariantKind::kBytes;
}

bool IsNullOrEmpty(const Variant& value) { return value.IsNull() || value.IsEmpty(); }

}  // namespace

Variant ConvertArgument(const Variant& value, const ParamInfo& param, size_t position) {
  switch (param.type) {
    case ValueType::kString:
      if (!IsScalar(value)) Refuse(param, position, value);
      return Variant(CStr(value));
    case ValueType::kLong:
      if (!IsScalar(value)) Refuse(param, position, value);
      return Variant(CLng(value));
    case ValueType::kBoolean:
      if (!IsScalar(value)) Refuse(param, position, value);
      return Variant(CBool(value));
    case ValueType::kDouble:
      if (!IsScalar(value)) Refuse(param, position, value);
      return Variant(CDbl(value));
    case ValueType::kDictionary:
      if (value.kind() == VariantKind::kDictionary) return value;
      if (IsNullOrEmpty(value)) return Variant(std::shared_ptr<Dictionary>());
      Refuse(param, position, value);
    case ValueType::kVector:
      if (value.kind() == VariantKind::kVector) return value;
      if (IsNullOrEmpty(value)) return Variant(std::shared_ptr<Vector>());
      Refuse(param, position, value);
    case ValueType::kRecordset:
      if (value.kind() == VariantKind::kRecordset) return value;
      if (IsNullOrEmpty(value)) return Variant(std::shared_ptr<Recordset>());
      Refuse(param, position, value);
    case ValueType::kVariant:
      return value;
    case ValueType::kVoid:
      break;
  }
  throw RequestError(500, "bad_type_library", Describe(param, position) + " has no type.");
}

Arguments BindArguments(const MethodInfo& method, const std::vector<Variant>& given) {
  if (given.size() > method.params.size() || given.size() < method.RequiredCount()) {
    std::string names;
    for (const ParamInfo& param : method.params) {
      if (!names.empty()) names += ", ";
      names += param.optional ? "[" + param.name + "]" : param.name;
    }
    std::string expected = std::to_string(method.RequiredCount());
    if (method.RequiredCount() != method.params.size()) {
      expected += " to " + std::to_string(method.params.size());
    }
    throw RequestError(400, "bad_arguments",
                       method.name + " takes " + expected + " argument" +
                           (method.params.size() == 1 ? "" : "s") + " (" + names + "); " +
                           std::to_string(given.size()) + " given.");
  }
  Arguments args;
  args.reserve(method.params.size());
  for (size_t i = 0; i < method.params.size(); ++i) {
    const ParamInfo& param = method.params[i];
    args.push_back(ConvertArgument(i < given.size() ? given[i] : param.default_value, param, i));
  }
  return args;
}

std::vector<Variant> DecodeArgumentsJson(std::string_view body) {
  nlohmann::ordered_json json;
  try {
    // The body and "args" are two levels above the arguments' own.
    json = ParseJson(body, kMaxNestingDepth + 2);
  } catch (const MalformedJson& error) {
    const std::vector<std::string>& path = error.path();
    // The slot is an argument's when it is an index (an object's key of
    // digits may also stand there, and be too long for any index).
    if (path.size() >= 2 && path[0] == "args" && !path[1].empty()) {
      size_t index = 0;
      const char* end = path[1].data() + path[1].size();
      auto [stop, failure] = std::from_chars(path[1].data(), end, index);
      if (stop == end && failure == std::errc() && index < std::numeric_limits<size_t>::max()) {
        throw RequestError(400, "malformed_json", "Argument " + std::to_string(index + 1) + ": " + error.what());
      }
    }
    throw RequestError(400, "malformed_json", error.what());
  }
  if (!json.is_object()) {
    throw RequestError(400, "bad_request", "The body is a JSON object: {\"args\": [...]}.");
  }
  auto args = json.find("args");
  if (args == json.end()) return {};
  if (!args->is_array()) {
    throw RequestError(400, "bad_request", "\"args\" is an array of the arguments in order.");
  }
  std::vector<Variant> values;
  values.reserve(args->size());
  for (size_t i = 0; i < args->size(); ++i) {
    try {
      values.push_back(DecodeValue((*args)[i]));
    } catch (const DecodeError& error) {
      throw RequestError(400, "bad_request",
                         "Argument " + std::to_string(i + 1) + ": " + error.what());
    }
  }
  return values;
}

std::vector<Variant> ParseArguments(std::string_view body) {
  if (TrimSpaces(body).empty()) return {};
  if (std::optional<std::vector<Variant>> flat = ReadFlatArguments(body)) return std::move(*flat);
  return DecodeArgumentsJson(body);
}

}  // namespace lxm::server

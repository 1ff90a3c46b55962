// The argument binder: a request body's values bound to the parameters of
// one public method, then the descriptor check the server makes before the
// method runs. The first byte picks the method; the rest is the body.
//
// Expected outcomes: bound arguments; a RequestError (400) for values no rule
// converts or a wrong count; a ComError for what the automation rules refuse
// (overflow, type mismatch, invalid use of Null) and for a descriptor that
// does not parse. Bound arguments must match their parameters' types.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/request_context.h"
#include "fuzz/request_body.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "server/arguments.h"
#include "server/json_codec.h"
#include "server/request_error.h"
#include "server/type_library.h"

namespace {

using lxm::Variant;
using lxm::VariantKind;
using lxm::fuzz::Fail;
using lxm::server::ValueType;

const std::vector<const lxm::server::MethodInfo*>& AllMethods() {
  static const std::vector<const lxm::server::MethodInfo*> methods = [] {
    std::vector<const lxm::server::MethodInfo*> all;
    for (const auto& info : lxm::server::PublicTypeLibrary().classes()) {
      for (const auto& method : info->methods()) all.push_back(&method);
    }
    return all;
  }();
  return methods;
}

// Whether a bound value is of the kind its parameter promises the method.
bool Fits(const Variant& value, ValueType type) {
  switch (type) {
    case ValueType::kString: return value.kind() == VariantKind::kString;
    case ValueType::kLong: return value.kind() == VariantKind::kLong;
    case ValueType::kBoolean: return value.kind() == VariantKind::kBoolean;
    case ValueType::kDouble: return value.kind() == VariantKind::kDouble;
    case ValueType::kDictionary: return value.kind() == VariantKind::kDictionary;
    case ValueType::kVector: return value.kind() == VariantKind::kVector;
    case ValueType::kRecordset: return value.kind() == VariantKind::kRecordset;
    case ValueType::kVariant: return true;
    case ValueType::kVoid: return false;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::vector<const lxm::server::MethodInfo*>& methods = AllMethods();
  const lxm::server::MethodInfo& method = *methods[data[0] % methods.size()];
  std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);

  lxm::server::Arguments args;
  try {
    args = lxm::server::BindArguments(method, lxm::fuzz::ReadArguments(body));
  } catch (const lxm::server::RequestError& error) {
    if (error.status() != 400) Fail("arguments refused with status " + std::to_string(error.status()));
    return 0;
  } catch (const lxm::ComError&) {
    return 0;
  }
  if (args.size() != method.params.size()) Fail(method.name + ": bound the wrong number of arguments");
  for (size_t i = 0; i < args.size(); ++i) {
    if (!Fits(args[i], method.params[i].type)) {
      Fail(method.name + ": argument " + std::to_string(i + 1) + " bound as a " +
           std::string(lxm::KindName(args[i].kind())));
    }
    // What the server keeps of a by-reference argument to tell a change.
    if (method.params[i].by_ref) lxm::server::EncodeValue(args[i]);
  }
  int index = method.DescriptorIndex();
  if (index >= 0) {
    try {
      std::shared_ptr<lxm::CParse> parse =
          lxm::ParseDescriptor(lxm::CStr(args[static_cast<size_t>(index)]));
      parse->ConStr();
    } catch (const lxm::ComError&) {
    }
  }
  return 0;
}

#include "platform/db/parameter_spec.h"

#include "platform/com_error.h"
#include "platform/convert.h"

// GCC 12 at -O3 reports a false "may be used uninitialized" inside
// std::variant when Variants are appended here.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace lxm {

namespace {

// What the data-access layer raises for a parameter it cannot define.
ComError BadParameterError() {
  return ComError(-2146825287, "ADODB.Parameter",
                  "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one "
                  "another.");
}

Variant BindAs(int32_t data_type, const Variant& value) {
  if (value.IsNull()) return value;
  switch (data_type) {
    case kParamInteger:
      return Variant(CLng(value));
    case kParamDouble:
      return Variant(CDbl(value));
    case kParamBoolean:
      return Variant(CBool(value));
    case kParamChar:
    case kParamWChar:
    case kParamVarChar:
    case kParamLongVarChar:
    case kParamVarWChar:
    case kParamLongVarWChar:
      return Variant(CStr(value));
    default:
      return value;
  }
}

}  // namespace

std::shared_ptr<Vector> MakeParameterSpec(int32_t data_type, int32_t size, const Variant& value) {
  std::shared_ptr<Vector> spec = Vector::Create();
  spec->Append(Variant(data_type));
  spec->Append(Variant(size));
  spec->Append(value);
  return spec;
}

void AppendCommandParameters(Params& params, const Variant& descriptions) {
  const std::shared_ptr<Vector>* list = descriptions.TryGet<std::shared_ptr<Vector>>();
  if (list == nullptr || *list == nullptr) return;
  for (const Variant& item : (*list)->items()) {
    const std::shared_ptr<Vector>* spec = item.TryGet<std::shared_ptr<Vector>>();
    if (spec == nullptr || *spec == nullptr || (*spec)->Count() != 3) continue;
    int32_t data_type = CLng((*spec)->Item(1));
    int32_t size = CLng((*spec)->Item(2));
    if (size < 0) throw BadParameterError();
    params.push_back(BindAs(data_type, (*spec)->Item(3)));
  }
}

}  // namespace lxm

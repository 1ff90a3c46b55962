// Descriptions of a statement's bound parameters, as the refresh writes hand
// them around: a three-item Vector (data type, size, value) per parameter.
//
//   Params params;
//   auto items = Vector::Create();
//   items->Append(Variant(MakeParameterSpec(kParamInteger, 4, Variant(visible))));
//   items->Append(Variant(MakeParameterSpec(kParamInteger, 4, Variant(id))));
//   AppendCommandParameters(params, Variant(items));
//   connection.Execute(kSetVisible, params);
#ifndef LXM_PLATFORM_DB_PARAMETER_SPEC_H_
#define LXM_PLATFORM_DB_PARAMETER_SPEC_H_

#include <cstdint>
#include <memory>

#include "platform/db/native_connection.h"
#include "platform/dictionary.h"
#include "platform/variant.h"

namespace lxm {

// Data types of a description (the values the suite's components use).
inline constexpr int32_t kParamInteger = 3;
inline constexpr int32_t kParamDouble = 5;
inline constexpr int32_t kParamBoolean = 11;
inline constexpr int32_t kParamChar = 129;
inline constexpr int32_t kParamWChar = 130;
inline constexpr int32_t kParamVarChar = 200;
inline constexpr int32_t kParamLongVarChar = 201;
inline constexpr int32_t kParamVarWChar = 202;
inline constexpr int32_t kParamLongVarWChar = 203;

// A new description: items 1 to 3 hold the data type, size and value.
std::shared_ptr<Vector> MakeParameterSpec(int32_t data_type, int32_t size, const Variant& value);

// Appends one parameter to `params` per description in `descriptions`, in
// order. Nothing happens when `descriptions` is not a Vector; items that are
// not three-item Vectors are skipped. The value is bound as its data type
// says: integers by the CLng rules, doubles by CDbl, booleans by CBool, text
// types by CStr; Null stays Null and other types bind the value as it is. A
// description whose type or size does not convert, whose size is negative or
// whose value does not fit its type raises that error; the parameters
// appended before it stay.
void AppendCommandParameters(Params& params, const Variant& descriptions);

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_PARAMETER_SPEC_H_

#include "update/dictionary_values.h"

#include "platform/com_error.h"
#include "platform/convert.h"

namespace lxm {

const Dictionary& RequireDictionary(const std::shared_ptr<Dictionary>& dict) {
  if (dict == nullptr) throw RuntimeError(errors::kInvalidCall);
  return *dict;
}

int32_t FlagValue(const Dictionary& dict, std::string_view key, const Variant& fallback) {
  Variant value = dict.ValueOr(key, fallback);
  return !value.IsNull() && CBool(value) ? 1 : 0;
}

int32_t LongValue(const Dictionary& dict, std::string_view key, int32_t fallback) {
  return CLng(dict.ValueOr(key, Variant(fallback)));
}

std::string TextValue(const Dictionary& dict, std::string_view key, std::string_view fallback) {
  return CStr(dict.ValueOr(key, Variant(std::string(fallback))));
}

std::optional<int32_t> TemplateUserID(const std::shared_ptr<Dictionary>& dctInfo) {
  if (dctInfo == nullptr) return std::nullopt;
  Variant value = dctInfo->ValueOr("TemplateUserID", Variant(""));
  if (value.IsNull() || CStr(value).empty()) return std::nullopt;
  return CLng(value);
}

int32_t TemplateUserIDOr(const std::shared_ptr<Dictionary>& dctInfo, int32_t caller) {
  return TemplateUserID(dctInfo).value_or(caller);
}

}  // namespace lxm

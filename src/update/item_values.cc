#include "update/item_values.h"

#include "platform/com_error.h"
#include "platform/convert.h"
#include "update/detail_items.h"

namespace lxm {

std::string ItemText(const Dictionary& item, std::string_view key, std::string_view fallback) {
  Variant value;
  if (!item.Lookup(key, &value)) return std::string(fallback);
  return value.IsNull() ? std::string() : CStr(value);
}

int32_t ItemFlag(const Dictionary& item, std::string_view key, const Variant& fallback) {
  Variant value = item.ValueOr(key, fallback);
  return !value.IsNull() && CBool(value) ? 1 : 0;
}

int32_t ItemLong(const Dictionary& item, std::string_view key, int32_t fallback) {
  return CLng(item.ValueOr(key, Variant(fallback)));
}

}  // namespace lxm

namespace lxm::detail_items {

const Dictionary& AsItem(const Variant& entry) {
  if (entry.kind() != VariantKind::kDictionary || entry.IsNothing()) throw RuntimeError(errors::kTypeMismatch);
  return *entry.AsDictionary();
}

}  // namespace lxm::detail_items

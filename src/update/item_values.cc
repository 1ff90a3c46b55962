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

std::string Utf8Prefix(std::string_view text, size_t characters) {
  size_t end = 0;
  for (size_t count = 0; end < text.size() && count < characters; ++count) {
    ++end;
    // Continuation bytes belong to the character before them.
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return std::string(text.substr(0, end));
}

}  // namespace lxm

namespace lxm::detail_items {

const Dictionary& AsItem(const Variant& entry) {
  if (entry.kind() != VariantKind::kDictionary || entry.IsNothing()) throw RuntimeError(errors::kTypeMismatch);
  return *entry.AsDictionary();
}

}  // namespace lxm::detail_items

// Reading the values of one item Dictionary with their defaults, by the
// conversion rules of platform/convert.h.
#ifndef LXM_UPDATE_ITEM_VALUES_H_
#define LXM_UPDATE_ITEM_VALUES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dictionary.h"

namespace lxm {

// The text under `key`, or `fallback` when the key is absent. Null reads as
// empty text; other values go through CStr.
std::string ItemText(const Dictionary& item, std::string_view key, std::string_view fallback);

// 1 when the value under `key` (or `fallback`) is true by CBool, else 0. A
// Null value is not true.
int32_t ItemFlag(const Dictionary& item, std::string_view key, const Variant& fallback);

// The value under `key` (or `fallback`) by CLng: 13 for text that is not a
// number, 6 beyond 32 bits, 94 for Null.
int32_t ItemLong(const Dictionary& item, std::string_view key, int32_t fallback);

}  // namespace lxm

#endif  // LXM_UPDATE_ITEM_VALUES_H_

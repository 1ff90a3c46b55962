// How DatasUpdate reads the values callers hand it in dictionaries: every
// value goes through the conversion rules, so text where a number belongs
// fails the call (13) before anything is written.
#ifndef LXM_UPDATE_DICTIONARY_VALUES_H_
#define LXM_UPDATE_DICTIONARY_VALUES_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dictionary.h"

namespace lxm {

// The dictionary itself; error 5 when the caller passed nothing.
const Dictionary& RequireDictionary(const std::shared_ptr<Dictionary>& dict);

// 1 when the value under `key` (or `fallback` when missing) is true, else 0;
// a Null value is not true. Raises 13 for text that is no Boolean.
int32_t FlagValue(const Dictionary& dict, std::string_view key, const Variant& fallback);

// The value under `key` as a Long (`fallback` when missing), CLng rules.
int32_t LongValue(const Dictionary& dict, std::string_view key, int32_t fallback);

// The value under `key` as text (`fallback` when missing).
std::string TextValue(const Dictionary& dict, std::string_view key, std::string_view fallback);

// "TemplateUserID" of `dctInfo` when it is there and not empty (CLng rules;
// text that is not a number raises 13); nothing otherwise.
std::optional<int32_t> TemplateUserID(const std::shared_ptr<Dictionary>& dctInfo);
// The same, or `caller` when there is none.
int32_t TemplateUserIDOr(const std::shared_ptr<Dictionary>& dctInfo, int32_t caller);

}  // namespace lxm

#endif  // LXM_UPDATE_DICTIONARY_VALUES_H_

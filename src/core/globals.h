// Helpers every part of the service shares: translated messages, the caller's
// user ID, the name column of a language, a record as a dictionary, and the
// text form of a version stamp.
#ifndef LXM_CORE_GLOBALS_H_
#define LXM_CORE_GLOBALS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/cdatasource.h"
#include "platform/component_factory.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"

namespace lxm {

// The message (simplified Chinese, the key) in the requested language, through
// the resource loader of this thread ("R8RESLOADER.Loader" from `factory`).
// Never fails: any failure returns the text unchanged.
std::string LoadResString(std::string_view text, std::string_view language_id,
                          const ComponentFactory& factory);
std::string LoadResString(std::string_view text, std::string_view language_id);

// The caller's user ID (the descriptor's "UserID"); error 13 when missing.
int32_t CurrentUserID(const CDataSource& data_source);

// The column to read for a language: the column itself for "chs" (exactly),
// else the trimmed column and the language's suffix ("FName", "en" ->
// "FName_EN"). "cht" and "en" are accepted in any letter case, as column
// names compare; any other language ID ("CHS" included) raises the error of a
// missing column (errors::kDatabase, naming the column) before any statement
// is built from it.
std::string LanguageColumn(std::string_view column, std::string_view language_id);

// The current row of a recordset as a new dictionary, fields in order.
// REQUIRES: the recordset stands on a row (an empty recordset without fields
// gives an empty dictionary).
std::shared_ptr<Dictionary> RecordToDictionary(const Recordset& recordset);

// "0x" and two upper-case hex digits per byte, most significant first;
// "0x0000000000000000" for Null, Empty or anything that is not bytes.
std::string StampToText(const Variant& value);

inline constexpr std::string_view kZeroStamp = "0x0000000000000000";

}  // namespace lxm

#endif  // LXM_CORE_GLOBALS_H_

// CParse: one parsed connection descriptor ("sDsn").
//
// A descriptor is a list of name=value properties separated by ";"; a value
// may be braced ("{...}") to hold ";" and "=". Names compare without regard to
// case; a name given twice makes ParseString raise error 457.
//
//   ConnectString={Provider=SQLite;Data Source=/srv/acct.db};UserID=16394;LANGUAGE=en
//
// Thread-safety: ParseString is for the owner alone; once parsed, a CParse is
// only read and may be shared by several calls and threads.
#ifndef LXM_CORE_CPARSE_H_
#define LXM_CORE_CPARSE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/text_util.h"

namespace lxm {

class CParse {
 public:
  // Parses the descriptor, replacing any earlier properties, and keeps the
  // text as PropsString(). Returns true whenever it returns; a name given
  // twice raises error 457.
  bool ParseString(std::string_view sToParse);

  const std::string& PropsString() const { return props_string_; }

  // The value stored under the name (case ignored), or empty text.
  std::string GetProperty(std::string_view sPropName) const;
  // The same without a copy; valid while the object lives unchanged.
  const std::string& PropertyRef(std::string_view name) const;

  std::string UserName() const { return GetProperty("UserName"); }
  // "UserID" converted by CLng; error 13 when missing or not a number.
  int32_t UserID() const;
  std::string ConDBMSName() const { return GetProperty("DBMS Name"); }
  std::string ConDBMSVersion() const { return GetProperty("DBMS Version"); }
  const std::string& ConStr() const { return PropertyRef("ConnectString"); }
  // "LANGUAGE", or "chs" when empty. Not trimmed, not checked.
  std::string LanguageID() const;
  // True when "AcctType" upper-cased is "GY".
  bool IsIndustry() const;

  size_t property_count() const { return properties_.size(); }

 private:
  std::string props_string_;
  std::unordered_map<std::string, std::string, CaseInsensitiveHash, CaseInsensitiveEqual>
      properties_;
};

// `descriptor` with the value of property `name` (case ignored) replaced by
// `value`, braced; the property is added at the end when missing. `value`
// must hold no "}". Everything else keeps its text.
std::string WithProperty(std::string_view descriptor, std::string_view name, std::string_view value);

}  // namespace lxm

#endif  // LXM_CORE_CPARSE_H_

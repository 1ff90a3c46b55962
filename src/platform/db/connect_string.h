// ConnectString: the ADO-style connect string that names an account database.
//
//   Provider=SQLite;Data Source=/path/account.db
//   Provider=PostgreSQL;Host=...;Port=...;Database=...;User ID=...;Password=...
//
// Names are compared without regard to case; values may be braced ("{...}")
// to hold ";". The provider decides the backend.
#ifndef LXM_PLATFORM_DB_CONNECT_STRING_H_
#define LXM_PLATFORM_DB_CONNECT_STRING_H_

#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/text_util.h"

namespace lxm {

enum class Backend { kSQLite, kPostgreSQL };

struct ConnectString {
  std::string text;  // as given
  Backend backend = Backend::kSQLite;
  std::unordered_map<std::string, std::string, CaseInsensitiveHash, CaseInsensitiveEqual>
      properties;

  // The value of a property, or empty text.
  std::string Get(std::string_view name) const;
  // SQLite: the database file ("Data Source").
  std::string data_source() const { return Get("Data Source"); }
};

// Parses a connect string. An empty text or a provider other than SQLite or
// PostgreSQL raises ADO's "Provider cannot be found" error (source
// "ADODB.Connection").
ConnectString ParseConnectString(std::string_view text);

// The connect string of an SQLite database file.
std::string SQLiteConnectString(std::string_view path);

// An SQLite database path as a file: made absolute (from the working folder,
// as opening it would) with ".", ".." and symbolic links resolved. A path
// that cannot be resolved stays as given.
std::string NormalisedDatabasePath(std::string_view path);

// Which database a connect string opens, whatever its spelling: for SQLite
// the normalised path of its file, for PostgreSQL its properties with names
// in lower case. Two connect strings with the same identity share a pool.
std::string DatabaseIdentity(const ConnectString& connect_string);

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_CONNECT_STRING_H_

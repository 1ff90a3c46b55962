#include "platform/db/dbms_properties.h"

#include <sqlite3.h>

namespace lxm {

std::vector<std::pair<std::string, Variant>> DbmsProperties(
    Backend backend, const std::function<Recordset(std::string_view)>& query) {
  switch (backend) {
    case Backend::kSQLite:
      // One result set per statement; LIKE takes an ESCAPE clause.
      return {{"DBMS Name", Variant("SQLite")},
              {"DBMS Version", Variant(std::string(sqlite3_libversion()))},
              {"Multiple Results", Variant(0)},
              {"Like Escape Clause", Variant("Y")}};
    case Backend::kPostgreSQL: {
      Recordset version = query("SELECT current_setting('server_version') AS FVersion");
      return {{"DBMS Name", Variant("PostgreSQL")},
              {"DBMS Version", version.Value(size_t{0})},
              {"Multiple Results", Variant(0)},
              {"Like Escape Clause", Variant("Y")}};
    }
  }
  return {};
}

}  // namespace lxm

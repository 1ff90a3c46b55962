#include "platform/db/dbms_properties.h"

#include <sqlite3.h>

namespace lxm {

std::vector<std::pair<std::string, Variant>> DbmsProperties(Backend backend) {
  switch (backend) {
    case Backend::kSQLite:
      // One result set per statement; LIKE takes an ESCAPE clause.
      return {{"DBMS Name", Variant("SQLite")},
              {"DBMS Version", Variant(std::string(sqlite3_libversion()))},
              {"Multiple Results", Variant(0)},
              {"Like Escape Clause", Variant("Y")}};
    case Backend::kPostgreSQL:
      return {{"DBMS Name", Variant("PostgreSQL")}, {"Like Escape Clause", Variant("Y")}};
  }
  return {};
}

}  // namespace lxm

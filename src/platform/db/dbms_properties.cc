#include "platform/db/dbms_properties.h"

#include <sqlite3.h>

namespace lxm {

std::vector<std::pair<std::string, Variant>> DbmsProperties(Backend backend, const std::string& server_version) {
  switch (backend) {
    case Backend::kSQLite:
      // One result set per statement; LIKE takes an ESCAPE clause.
      return {{"DBMS Name", Variant("SQLite")},
              {"DBMS Version", Variant(std::string(sqlite3_libversion()))},
              {"Multiple Results", Variant(0)},
              {"Like Escape Clause", Variant("Y")}};
    case Backend::kPostgreSQL: {
      // Known from the connection itself, as a driver's property is: no
      // statement that could fail and take the other properties with it.
      std::vector<std::pair<std::string, Variant>> properties = {{"DBMS Name", Variant("PostgreSQL")},
                                                                 {"Multiple Results", Variant(0)},
                                                                 {"Like Escape Clause", Variant("Y")}};
      if (!server_version.empty()) properties.emplace_back("DBMS Version", Variant(server_version));
      return properties;
    }
  }
  return {};
}

}  // namespace lxm

// What a database product says about itself, as the connection properties of
// the data-access layer named them ("DBMS Name", "DBMS Version", ...). A
// property the backend has no answer for is absent.
#ifndef LXM_PLATFORM_DB_DBMS_PROPERTIES_H_
#define LXM_PLATFORM_DB_DBMS_PROPERTIES_H_

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/db/connect_string.h"
#include "platform/recordset.h"
#include "platform/variant.h"

namespace lxm {

// `query` runs a statement on the database, for what only the server knows
// (PostgreSQL's version).
std::vector<std::pair<std::string, Variant>> DbmsProperties(
    Backend backend, const std::function<Recordset(std::string_view)>& query);

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_DBMS_PROPERTIES_H_

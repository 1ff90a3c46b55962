// What a database product says about itself, as the connection properties of
// the data-access layer named them ("DBMS Name", "DBMS Version", ...). A
// property the backend has no answer for is absent.
#ifndef LXM_PLATFORM_DB_DBMS_PROPERTIES_H_
#define LXM_PLATFORM_DB_DBMS_PROPERTIES_H_

#include <string>
#include <utility>
#include <vector>

#include "platform/db/connect_string.h"
#include "platform/variant.h"

namespace lxm {

// `server_version` is what the connection's server reported at connect
// (PostgreSQL's version); empty leaves "DBMS Version" out. Never raises.
std::vector<std::pair<std::string, Variant>> DbmsProperties(Backend backend, const std::string& server_version);

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_DBMS_PROPERTIES_H_

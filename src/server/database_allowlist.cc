#include "server/database_allowlist.h"

#include <algorithm>

#include "platform/com_error.h"
#include "platform/db/connect_string.h"
#include "platform/text_util.h"

namespace lxm::server {

DatabaseAllowlist::Key DatabaseAllowlist::Normalise(std::string_view connect_string) {
  ConnectString parsed = ParseConnectString(connect_string);
  Key key;
  for (const auto& [name, value] : parsed.properties) key[ToLowerAscii(name)] = value;
  // The provider's letter case does not change the backend.
  key["provider"] = parsed.backend == Backend::kSQLite ? "sqlite" : "postgresql";
  if (parsed.backend == Backend::kSQLite) {
    auto source = key.find("data source");
    if (source != key.end() && !source->second.empty()) {
      source->second = NormalisedDatabasePath(source->second);
    }
  }
  return key;
}

void DatabaseAllowlist::Add(std::string_view connect_string) {
  keys_.push_back(Normalise(connect_string));
  texts_.emplace_back(connect_string);
}

bool DatabaseAllowlist::Allows(std::string_view connect_string) const {
  // Clients mostly send back the very text they were given: no parsing and
  // no file system look-ups for it.
  if (std::find(texts_.begin(), texts_.end(), connect_string) != texts_.end()) return true;
  Key key;
  try {
    key = Normalise(connect_string);
  } catch (const ComError&) {
    return false;  // no provider: names no database at all
  }
  return std::find(keys_.begin(), keys_.end(), key) != keys_.end();
}

}  // namespace lxm::server

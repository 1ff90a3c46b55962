#include "server/database_allowlist.h"

#include <algorithm>

#include "platform/com_error.h"
#include "platform/db/connect_string.h"
#include "platform/text_util.h"

namespace lxm::server {

namespace {

// What the host shows in place of a password.
constexpr std::string_view kHiddenPassword = "***";

}  // namespace

DatabaseAllowlist::Key DatabaseAllowlist::Normalise(std::string_view connect_string, std::string* password) {
  ConnectString parsed = ParseConnectString(connect_string);
  Key key;
  for (const auto& [name, value] : parsed.properties) key[ToLowerAscii(name)] = value;
  auto given = key.find("password");
  if (given != key.end()) {
    *password = given->second;
    key.erase(given);
  }
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
  std::string password;
  keys_.push_back(Normalise(connect_string, &password));
  passwords_.push_back(std::move(password));
  texts_.emplace_back(connect_string);
}

const std::string* DatabaseAllowlist::Find(std::string_view connect_string) const {
  // Clients mostly send back the very text they were given: no parsing and
  // no file system look-ups for it.
  auto same = std::find(texts_.begin(), texts_.end(), connect_string);
  if (same != texts_.end()) return &*same;
  Key key;
  std::string password;
  try {
    key = Normalise(connect_string, &password);
  } catch (const ComError&) {
    return nullptr;  // no provider: names no database at all
  }
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] != key) continue;
    if (password.empty() || password == kHiddenPassword || password == passwords_[i]) return &texts_[i];
    return nullptr;  // a wrong password is no way in, even though it is not used
  }
  return nullptr;
}

}  // namespace lxm::server

// The databases a server was configured with, and whether a descriptor's
// "ConnectString" names one of them.
//
// Two connect strings name the same database when they parse to the same
// properties: property names compared without regard to case, spaces around
// names and values ignored, values otherwise exact. For SQLite the
// "Data Source" paths are compared as files instead: made absolute (from the
// server's working folder, as opening the database would) with ".", ".." and
// symbolic links resolved. Only what decides which database opens is
// normalised, so a connect string that passes opens a configured database.
//
// The password takes no part in naming: a descriptor may leave it out, give
// "***" (what the host shows) or the right one; a wrong one is refused. The
// host then connects with the configured text, so its callers never need
// the database's credentials and are never shown them.
//
// Thread-safety: immutable once built; Allows() may be called from any thread.
#ifndef LXM_SERVER_DATABASE_ALLOWLIST_H_
#define LXM_SERVER_DATABASE_ALLOWLIST_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace lxm::server {

class DatabaseAllowlist {
 public:
  // Adds a database. Raises what ParseConnectString raises for a connect
  // string that names no provider.
  void Add(std::string_view connect_string);

  // The configured connect string (credentials and all) that
  // `connect_string` names, or null when it names none.
  const std::string* Find(std::string_view connect_string) const;
  bool Allows(std::string_view connect_string) const { return Find(connect_string) != nullptr; }

  // The connect strings as they were added.
  const std::vector<std::string>& connect_strings() const { return texts_; }

 private:
  // Lower-case property name -> value, normalised as above, without the
  // password.
  using Key = std::map<std::string, std::string>;
  static Key Normalise(std::string_view connect_string, std::string* password);

  std::vector<std::string> texts_;
  std::vector<Key> keys_;
  std::vector<std::string> passwords_;
};

}  // namespace lxm::server

#endif  // LXM_SERVER_DATABASE_ALLOWLIST_H_

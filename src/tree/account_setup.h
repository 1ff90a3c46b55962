// Creating an account database: the schema, optionally with the demo account
// or a generated tree of a given shape.
#ifndef LXM_TREE_ACCOUNT_SETUP_H_
#define LXM_TREE_ACCOUNT_SETUP_H_

#include <optional>
#include <string>

#include "platform/runtime.h"
#include "tree/synthetic_data.h"

namespace lxm {

struct AccountSetupOptions {
  bool demo = false;
  std::optional<SyntheticShape> synthetic;
  // Replace an existing file; otherwise an existing file is an error. A
  // file that a connection (of any process) has open is never replaced, and
  // from that check until the new content is in, the old database is held
  // by this process alone: a connection opened meanwhile waits, then sees
  // the new database.
  bool replace = false;
};

// Creates the SQLite database file at `path` with the schema and the chosen
// content. The database is built beside it under a temporary name; when
// complete it is renamed into place (never over a file that appeared
// meanwhile), or, replacing an SQLite database, copied into the old file in
// one transaction under that file's exclusive lock. A failure leaves `path`
// as it was. Returns its connect string.
std::string CreateAccountDatabase(Runtime& runtime, const std::string& path,
                                  const AccountSetupOptions& options);

// Raises errors::kInvalidCall, with a description naming the file, unless
// `path` is an account database of this build's schema version that can be
// written. Changes nothing in the file.
void CheckAccountDatabase(const std::string& path);

// The descriptor of a user on an SQLite account database.
std::string MakeDescriptor(const std::string& path, int32_t user_id, const std::string& language);

// The descriptor of a user on the account database a connect string names.
std::string DescriptorFor(const std::string& connect_string, int32_t user_id,
                          const std::string& language);

}  // namespace lxm

#endif  // LXM_TREE_ACCOUNT_SETUP_H_

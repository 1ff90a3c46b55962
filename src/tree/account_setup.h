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
  // Delete an existing file first; otherwise an existing file is an error.
  bool replace = false;
};

// Creates the SQLite database file at `path` with the schema and the chosen
// content, in one transaction. Returns its connect string.
std::string CreateAccountDatabase(Runtime& runtime, const std::string& path,
                                  const AccountSetupOptions& options);

// The descriptor of a user on an SQLite account database.
std::string MakeDescriptor(const std::string& path, int32_t user_id, const std::string& language);

}  // namespace lxm

#endif  // LXM_TREE_ACCOUNT_SETUP_H_

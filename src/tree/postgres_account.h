// An account in a PostgreSQL database: creating its schema and content, and
// checking it before it is served. (An SQLite account is a file:
// account_setup.h.)
#ifndef LXM_TREE_POSTGRES_ACCOUNT_H_
#define LXM_TREE_POSTGRES_ACCOUNT_H_

#include <string>

#include "platform/runtime.h"
#include "tree/account_setup.h"

namespace lxm {

// Creates the schema and the chosen content in the existing PostgreSQL
// database `connect_string` names, in one transaction: a failure leaves it
// as it was. An account already there is an error unless
// `options.replace`, which drops its tables, sequence, function and types
// in that same transaction.
void CreatePostgresAccount(Runtime& runtime, const std::string& connect_string,
                           const AccountSetupOptions& options);

// Raises errors::kInvalidCall, with a description naming the database,
// unless it holds an account of this build's schema version. Reads only.
void CheckPostgresAccount(Runtime& runtime, const std::string& connect_string);

}  // namespace lxm

#endif  // LXM_TREE_POSTGRES_ACCOUNT_H_

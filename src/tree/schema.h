// The tables of an account database's function tree, and their creation.
//
// Template tables (t_DataFlow*) hold the tree as shipped; overlay tables
// (t_User*) hold per user (FUserID, 0 = shared default) what was renamed,
// hidden, reordered or added. Every name has three language columns: the base
// column (simplified Chinese), _CHT and _EN.
//
// Text columns compare without regard to letter case (COLLATE NOCASE in
// SQLite), as the suite's account databases do. t_DataFlowTimeStamp.FTimeStamp
// is a row version kept by triggers: it takes a new, database-wide increasing
// value on every insert and every update of its row.
#ifndef LXM_TREE_SCHEMA_H_
#define LXM_TREE_SCHEMA_H_

#include <string>
#include <vector>

#include "platform/call_scope.h"
#include "platform/db/connect_string.h"

namespace lxm::schema {

// The script that creates every table, index and trigger.
std::string CreateScript(Backend backend);

// Runs CreateScript in the transaction. Fails if the tables exist.
void CreateSchema(Transaction& transaction);

// The version CreateScript writes into an SQLite database (PRAGMA
// user_version); a database of another version is not served.
inline constexpr int kSchemaVersion = 1;

// The tables CreateScript creates.
std::vector<std::string> TableNames(Backend backend);

// First IDs of user-created nodes of each level (also the level bases).
inline constexpr int32_t kTopClassBase = 1000;
inline constexpr int32_t kSubSystemBase = 100000;
inline constexpr int32_t kSubFuncBase = 10000000;
inline constexpr int32_t kDetailFuncBase = 1000000000;

}  // namespace lxm::schema

#endif  // LXM_TREE_SCHEMA_H_

// StoredText: the texts a write statement stores, checked before it runs.
//
// SQLite keeps a text of any length in a VARCHAR(255) column and keeps a
// NUL inside a text, while PostgreSQL's text columns cut a bound value at a
// NUL. Checking here, before the backend sees the statement, makes both
// backends refuse the same values with the same error, and a refused
// statement changes nothing.
//
// A value is "stored" in a column when the statement's own text puts a bare
// "?" there: `INSERT INTO t (a, b) VALUES (?, ?)`, `INSERT INTO t (a, b)
// SELECT ?, ? FROM ...` or `UPDATE t SET a = ?, b = ? WHERE ...`. Lengths
// count characters, as VARCHAR(n) does.
//
// Thread-safety: every function may be called from any thread.
#ifndef LXM_PLATFORM_DB_STORED_TEXT_H_
#define LXM_PLATFORM_DB_STORED_TEXT_H_

#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/db/native_connection.h"

namespace lxm {

// Lower-case "table.column" -> declared length in characters.
using DeclaredLengths = std::unordered_map<std::string, int>;

// The VARCHAR(n) (and CHAR, NVARCHAR, NCHAR) columns of CREATE TABLE
// statements.
DeclaredLengths ParseDeclaredLengths(std::string_view ddl);

// The schema's declared lengths. Defined beside the SQLite schema
// (tree/schema_sqlite.cc), whose script declares them.
const DeclaredLengths& SchemaTextLengths();

// Raises a database error (errors::kDatabase, source `backend`) naming the
// table and column when a text `sql` stores is longer than the column
// holds, or when any text parameter holds a NUL character.
void CheckStoredTexts(std::string_view backend, std::string_view sql, const Params& params,
                      const DeclaredLengths& lengths = SchemaTextLengths());

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_STORED_TEXT_H_

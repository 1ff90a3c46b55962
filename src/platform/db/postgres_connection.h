// PostgresConnection: the PostgreSQL backend of NativeConnection, over libpq.
//
// Statements are written for both engines with "?" placeholders; each is
// rewritten to PostgreSQL's "$1..$n" and prepared once per handle, keyed by
// its text and the kinds of its parameters (libpq fixes parameter types at
// prepare time).
//
// Values are bound by their Variant kind: Longs and Booleans as integer,
// Doubles as double precision, bytes as bytea. Text is sent untyped, so the
// column it meets decides its type: a case-insensitive (citext) column then
// compares it without regard to case, where a text parameter would make
// PostgreSQL compare as text, case and all.
//
// Results give the Variants the SQLite backend gives: integers Long (Double
// beyond 32 bits), text String, bytea bytes, and a row-version column
// (domain "rowversion", named directly or through an alias) its 8 bytes with
// FieldType::kBinary. PostgreSQL
// folds unquoted names to lower case; result column names get back the
// spelling the statement gives them, else the schema's (see
// column_spelling.h).
//
// Read transactions run at REPEATABLE READ. A write transaction runs at READ
// COMMITTED and first takes a transaction-scoped advisory lock, the write
// lock that writers of every process take in turn, waiting at most the busy
// timeout (else WriteLockBusy).
//
// Errors are database ComErrors with source "PostgreSQL". The password of
// the connect string never appears in them.
#ifndef LXM_PLATFORM_DB_POSTGRES_CONNECTION_H_
#define LXM_PLATFORM_DB_POSTGRES_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/db/connect_string.h"
#include "platform/db/native_connection.h"
#include "platform/text_util.h"

struct pg_conn;

namespace lxm {

class PostgresConnection : public NativeConnection {
 public:
  // Connects with the Host (a name, an address or a socket folder), Port,
  // Database, User ID and Password of the connect string. Raises a database
  // error when the server cannot be reached or refuses the login.
  static std::unique_ptr<PostgresConnection> Open(const ConnectString& connect_string,
                                                  int busy_timeout_ms);
  ~PostgresConnection() override;

  std::string_view backend_name() const override { return "PostgreSQL"; }
  Recordset Query(std::string_view sql, const Params& params) override;
  int64_t Execute(std::string_view sql, const Params& params) override;
  void ExecuteScript(std::string_view sql) override;
  void Begin(bool for_write) override;
  void Commit() override;
  void Rollback() override;
  void Savepoint(std::string_view name) override;
  void ReleaseSavepoint(std::string_view name) override;
  void RollbackToSavepoint(std::string_view name) override;
  std::string ServerVersion() const override;

  // Statements kept prepared per handle.
  static constexpr size_t kMaxCachedStatements = 256;
  // The advisory lock key every writer takes (any constant that no other
  // program sharing the database uses).
  static constexpr int64_t kWriteLockKey = 0x4C584D44;  // "LXMD"

 private:
  struct Prepared;
  class Result;

  PostgresConnection(pg_conn* connection, std::string password, int busy_timeout_ms);
  const Prepared& Prepare(std::string_view sql, const Params& params);
  // Runs a statement; `used` (when given) gets the prepared statement.
  Result Run(std::string_view sql, const Params& params, const Prepared** used = nullptr);
  void ExecPlain(const std::string& sql);
  static FieldType TypeOf(unsigned int oid);
  bool IsRowVersion(unsigned int table, int column);
  [[noreturn]] void Fail(std::string message) const;

  pg_conn* connection_;
  std::string password_;  // only to keep it out of error texts
  int busy_timeout_ms_;
  int next_statement_ = 0;
  std::unordered_map<std::string, std::unique_ptr<Prepared>, TransparentStringHash, std::equal_to<>>
      statements_;
  // The (table OID, column number) of every row-version column, read on
  // first need. A handle lives no longer than the schema it reads: a
  // re-created schema comes with new pools.
  std::optional<std::set<std::pair<unsigned int, int>>> row_version_columns_;
};

// Rewrites "?" placeholders to "$1".."$n", leaving those inside quoted
// literals, quoted names and comments alone. `count` gets their number.
std::string NumberPlaceholders(std::string_view sql, int* count);

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_POSTGRES_CONNECTION_H_

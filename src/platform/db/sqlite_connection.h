// SQLiteConnection: the SQLite backend of NativeConnection.
//
// Prepared statements are cached per handle by their text. Field types come
// from the declared column types: INTEGER columns give Longs, text columns
// Strings, and a ROWVERSION column gives the 8 bytes of its value, most
// significant first, as a SQL Server row version would.
#ifndef LXM_PLATFORM_DB_SQLITE_CONNECTION_H_
#define LXM_PLATFORM_DB_SQLITE_CONNECTION_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/db/native_connection.h"
#include "platform/db/wal_index_header.h"
#include "platform/text_util.h"

struct sqlite3;
struct sqlite3_stmt;

namespace lxm {

class SQLiteConnection : public NativeConnection {
 public:
  // Opens the file read-write. Without `create` a missing file is an error
  // and nothing is created. With `durable` a commit returns once it is on
  // the disk, so that it survives a power loss (synchronous=FULL); without,
  // it survives a crash of the process but the last commits before a power
  // loss may be gone (NORMAL: the log is synced only at checkpoints).
  static std::unique_ptr<SQLiteConnection> Open(const std::string& path, bool create,
                                                int busy_timeout_ms, bool durable = true);
  ~SQLiteConnection() override;

  std::string_view backend_name() const override { return "SQLite"; }
  Recordset Query(std::string_view sql, const Params& params) override;
  int64_t Execute(std::string_view sql, const Params& params) override;
  void ExecuteScript(std::string_view sql) override;
  void Begin(bool for_write) override;
  void Commit() override;
  void Rollback() override;
  void Savepoint(std::string_view name) override;
  void ReleaseSavepoint(std::string_view name) override;
  void RollbackToSavepoint(std::string_view name) override;

  void CheckpointIfIdle(int64_t min_bytes) override;
  bool BoundLog(int64_t max_bytes, int wait_ms) override;
  int64_t LogSize() const override;
  std::optional<uint64_t> ContentVersion() override;

  // Switches the database to WAL journaling (persistent in the file).
  void EnableWriteAheadLog();
  // The size the journal is cut back to after each checkpoint.
  void LimitJournalSize(int64_t bytes);
  // Whether the file could only be opened read-only.
  bool read_only() const;
  // Replaces this database's whole content with that of the database file
  // at `source`, in one transaction: a failure leaves it as it was. A
  // database in WAL mode stays in it.
  void CopyFrom(const std::string& source);

  // Statements kept prepared per handle.
  static constexpr size_t kMaxCachedStatements = 256;

 private:
  SQLiteConnection(sqlite3* db, int busy_timeout_ms) : db_(db), busy_timeout_ms_(busy_timeout_ms) {}
  sqlite3_stmt* Prepare(std::string_view sql);
  void Bind(sqlite3_stmt* statement, const Params& params);
  void ExecPlain(const std::string& sql);
  [[noreturn]] void Fail() const;

  sqlite3* db_;
  int busy_timeout_ms_;
  std::unordered_map<std::string, sqlite3_stmt*, TransparentStringHash, std::equal_to<>> statements_;
  // The WAL-index header and content version of this handle's last look
  // outside a transaction (ContentVersion).
  std::optional<WalIndexHeader> seen_header_;
  uint64_t seen_version_ = 0;
  // Whether the database is in WAL mode; unknown until first asked.
  std::optional<bool> write_ahead_log_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_SQLITE_CONNECTION_H_

// NativeConnection: one open handle of a backend (an sqlite3 handle, a PGconn).
//
// The pool (database.h) owns idle handles; a call's transaction (call_scope.h)
// holds one for the length of the call. All values are bound as parameters
// ("?" placeholders); statement text never carries caller input. Prepared
// statements are kept per handle, keyed by their text.
//
// Thread-safety: a handle is used by one thread at a time.
#ifndef LXM_PLATFORM_DB_NATIVE_CONNECTION_H_
#define LXM_PLATFORM_DB_NATIVE_CONNECTION_H_

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/db/kept_values.h"
#include "platform/recordset.h"
#include "platform/variant.h"

namespace lxm {

using Params = std::vector<Variant>;

// Raised by Begin(true) when the write lock did not come within the busy
// timeout; the pool turns it into its "busy" database error.
class WriteLockBusy : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class NativeConnection {
 public:
  virtual ~NativeConnection() = default;

  // "SQLite" or "PostgreSQL": the source of the errors it raises.
  virtual std::string_view backend_name() const = 0;

  // Runs a statement and materialises every row. Field names are the names
  // the statement gives its columns; field types come from the declared
  // column types. Failures raise a database ComError.
  virtual Recordset Query(std::string_view sql, const Params& params) = 0;

  // Runs a statement that returns no rows; the number of rows it changed.
  virtual int64_t Execute(std::string_view sql, const Params& params) = 0;

  // Runs several statements without parameters (schema scripts).
  virtual void ExecuteScript(std::string_view sql) = 0;

  // BEGIN; with `for_write` the write lock is taken at once, waiting for the
  // writer before it within the busy timeout (else WriteLockBusy).
  virtual void Begin(bool for_write) = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // Savepoint names are made by the caller from counters, never from input.
  virtual void Savepoint(std::string_view name) = 0;
  virtual void ReleaseSavepoint(std::string_view name) = 0;
  virtual void RollbackToSavepoint(std::string_view name) = 0;

  // Copies a write-ahead log of more than `min_bytes` back into the
  // database and empties it, unless a reader elsewhere still needs it (then
  // nothing happens). Never waits.
  virtual void CheckpointIfIdle(int64_t /*min_bytes*/) {}

  // When the write-ahead log holds more than `max_bytes`, copies it back
  // into the database and empties it, waiting up to `wait_ms` for readers
  // of older snapshots to finish (new readers are not held up). False when
  // they did not finish in time: the log was copied back as far as it could
  // be and stays. Never raises. REQUIRES: no transaction open on this handle.
  virtual bool BoundLog(int64_t /*max_bytes*/, int /*wait_ms*/) { return true; }
  // The size of the write-ahead log in bytes; 0 for a backend without one.
  virtual int64_t LogSize() const { return 0; }

  // A number that moves with every commit to the database, made through
  // this handle or any other, in this process or another: an equal number
  // means unchanged content. Inside a transaction it is that of the
  // transaction's snapshot (which it starts when no statement has yet).
  // nullopt when the backend cannot tell; then nothing is kept.
  virtual std::optional<uint64_t> ContentVersion() { return std::nullopt; }

  // The server's version as it reported it when this handle connected;
  // empty for a backend without a server. Asks nothing, never raises.
  virtual std::string ServerVersion() const { return {}; }

  // Values kept with this handle while its content version holds.
  KeptValues& kept() { return kept_; }

 private:
  KeptValues kept_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_NATIVE_CONNECTION_H_

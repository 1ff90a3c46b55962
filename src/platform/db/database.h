// Database: the pool of native connections for one connect string, and the
// registry of pools of a process.
//
// Opening a connection is expensive (and so is preparing statements); a pool
// keeps idle handles with their prepared statements, as ADO's session pooling
// did. An SQLite database is opened in WAL mode with a busy timeout, so that
// concurrent calls wait for each other instead of failing.
//
// Writers of one process take turns (one holds the write lock, the others
// queue here rather than in SQLite), and wait for their turn and then for
// the lock at most `lock_wait_ms` each. While the writer whose turn it is
// waits for a lock held by another process, at most `max_lock_waiters`
// writers wait in all and the next fails at once with the same "busy"
// error, so that a lock held elsewhere cannot take every worker. The
// write-ahead log is kept small: it is cut back to kWalSizeLimit after
// checkpoints, and checkpointed whole when the last handle comes back after
// writes (the database is quiet) and it holds more than
// kQuietCheckpointBytes. Readers that never all stop at once (a busy server)
// keep SQLite's own checkpoints from ever emptying it; so a write whose
// commit leaves it above `wal_bound_bytes` empties it before ending its
// turn, waiting briefly for the readers of older snapshots.
//
// An SQLite file deleted or replaced under the pool (rm, mv) is noticed when
// a call takes a handle, before a write commits and whenever CheckFile() is
// called (the server does so on a timer): from then on the pool refuses
// every call with a database error naming the file, and closes its handles,
// so that nothing is written where it would be lost and nothing stale is
// read. A replacement is served once the old handles are all closed and
// check_replacement accepts it.
//
// Thread-safety: Database and DatabaseRegistry are safe to use from any
// thread. A Lease belongs to one thread.
#ifndef LXM_PLATFORM_DB_DATABASE_H_
#define LXM_PLATFORM_DB_DATABASE_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/db/connect_string.h"
#include "platform/db/native_connection.h"
#include "platform/text_util.h"

namespace lxm {

struct DatabaseSettings {
  // How long a writer waits for the write lock (SQLite's busy timeout).
  int lock_wait_ms = 30000;
  // Writers that may wait for the write lock at once; 0: no bound.
  int max_lock_waiters = 0;
  // A write whose commit leaves the write-ahead log larger than this empties
  // it (a truncating checkpoint); 0: never. Four times the size the log is
  // cut back to (kWalSizeLimit) and the size at which SQLite's own
  // checkpoints run (1000 pages), so it acts only once those have fallen
  // behind; small enough that the log costs readers and the disk little
  // and is copied back in a few milliseconds.
  int64_t wal_bound_bytes = int64_t{16} << 20;
  // How long that checkpoint waits for readers of older snapshots to finish
  // (new readers go on meanwhile). When they do not finish in time the write
  // still succeeds; the next try comes once the log has grown by another
  // quarter of the bound, so that a long reader costs writers one wait per
  // so many bytes written.
  int wal_bound_wait_ms = 200;
  // SQLite: a commit is reported only once it is on the disk (see
  // SQLiteConnection::Open). PostgreSQL decides this itself
  // (synchronous_commit).
  bool durable_commits = true;
  // When set, every handle the pool opens is handed through it, and the
  // pool keeps what it returns: a layer that watches or fails statements
  // (tests). The handle comes set up, its journal mode chosen.
  std::function<std::unique_ptr<NativeConnection>(std::unique_ptr<NativeConnection>)> wrap_connection;
  // SQLite: a file put in the place of the one the pool had open is served
  // (once every handle on the old one is closed) when this returns; it
  // raises for a file not to be served. Unset: a replaced file is never
  // served again by this pool.
  std::function<void(const std::string& path)> check_replacement;
};

class Database : public std::enable_shared_from_this<Database> {
 public:
  // A connection taken from the pool; it goes back on destruction.
  class Lease {
   public:
    Lease() = default;
    // `generation`: of the file the handle has open.
    Lease(std::shared_ptr<Database> owner, std::unique_ptr<NativeConnection> connection, uint64_t generation);
    Lease(Lease&&) noexcept = default;
    Lease& operator=(Lease&&) noexcept;
    ~Lease();

    NativeConnection* operator->() const { return connection_.get(); }
    NativeConnection& operator*() const { return *connection_; }
    explicit operator bool() const { return connection_ != nullptr; }
    // Drops the handle instead of pooling it (after a failed rollback).
    void Discard();

   private:
    std::shared_ptr<Database> owner_;
    std::unique_ptr<NativeConnection> connection_;
    uint64_t generation_ = 0;
  };

  // Opens the pool. The database file must exist: a connect string naming a
  // missing file raises a database error and creates nothing. With `create`
  // (schema set-up only) a missing SQLite file is created.
  static std::shared_ptr<Database> Open(const ConnectString& connect_string,
                                        bool create = false, const DatabaseSettings& settings = {});

  Lease Acquire();

  // Begins a transaction that holds the write lock, waiting as the settings
  // allow; the caller's turn to write lasts until EndWrite(). Raises the
  // "busy" database error naming the database when the turn or the lock does
  // not come in time, or when too many writers wait already.
  void BeginWrite(NativeConnection& connection);
  // Ends the turn of a BeginWrite() that succeeded (after commit or
  // rollback).
  void EndWrite() noexcept;
  // After the commit of a write, before EndWrite(): bounds the write-ahead
  // log as the settings say. Never raises; may wait wal_bound_wait_ms.
  void AfterCommit(NativeConnection& connection) noexcept;

  // Whether the file at the SQLite database's path is still the one the
  // pool has open (always true for PostgreSQL). The first time it is not,
  // the pool is closed and this is logged.
  bool CheckFile();
  // Raises the database error of a deleted or replaced file unless
  // CheckFile() is true.
  void RequireSameFile();

  const ConnectString& connect_string() const { return connect_string_; }
  Backend backend() const { return connect_string_.backend; }

  // Idle handles kept per pool.
  static constexpr size_t kMaxIdle = 16;
  // The size the write-ahead log is cut back to after a checkpoint.
  static constexpr int64_t kWalSizeLimit = int64_t{4} << 20;
  // A writer whose BEGIN has taken this long waits for another process (the
  // writers of this process take turns and never block each other's BEGIN).
  static constexpr std::chrono::milliseconds kOutsideWait{100};
  // A log larger than this is checkpointed when the database is quiet.
  static constexpr int64_t kQuietCheckpointBytes = int64_t{1} << 20;

 private:
  Database(ConnectString connect_string, const DatabaseSettings& settings);
  // A handle as the backend opens it, and as the pool keeps it.
  std::unique_ptr<NativeConnection> OpenUnwrapped(bool create);
  std::unique_ptr<NativeConnection> Wrapped(std::unique_ptr<NativeConnection> connection) const;
  void Return(std::unique_ptr<NativeConnection> connection, uint64_t generation);
  [[noreturn]] void ThrowBusy() const;
  [[noreturn]] void ThrowReplaced(std::string_view why) const;
  // Serves the file now at the path, if the old one's handles are all
  // closed and check_replacement accepts it; raises otherwise.
  void TakeReplacement();

  struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
  };
  // The identity of the file at the path now; nullopt when there is none.
  std::optional<FileIdentity> IdentityOnDisk() const;

  ConnectString connect_string_;
  const DatabaseSettings settings_;
  std::mutex reopen_mutex_;  // one caller at a time takes a replacement
  std::mutex mutex_;
  std::optional<FileIdentity> file_;                      // GUARDED_BY(mutex_); SQLite only
  bool file_replaced_ = false;                            // GUARDED_BY(mutex_)
  // Moves with each file the pool serves: handles of an older one are
  // dropped when they come back.
  uint64_t generation_ = 0;                               // GUARDED_BY(mutex_)
  std::vector<std::unique_ptr<NativeConnection>> idle_;  // GUARDED_BY(mutex_)
  int leased_ = 0;                                        // GUARDED_BY(mutex_)
  bool writer_turn_taken_ = false;                        // GUARDED_BY(mutex_)
  bool writer_waits_outside_ = false;                     // GUARDED_BY(mutex_)
  std::chrono::steady_clock::time_point outside_since_;   // GUARDED_BY(mutex_)
  int queued_writers_ = 0;                                // GUARDED_BY(mutex_)
  std::condition_variable writer_turn_free_;
  bool wrote_since_checkpoint_ = false;                   // GUARDED_BY(mutex_)
  // No bounding checkpoint is tried below this log size (one did not finish).
  int64_t next_bound_try_bytes_ = 0;                      // GUARDED_BY(mutex_)
};

// The pools of a process, one per database (DatabaseIdentity): every
// spelling of a connect string that opens the same file shares one pool. At
// most kMaxPools are kept; past that the least recently used one is dropped
// (its handles close once no call holds them).
class DatabaseRegistry {
 public:
  // The pool for a connect string, opened on first use. Raises the provider
  // or open error; a failed open is not remembered.
  std::shared_ptr<Database> Get(std::string_view connect_string);

  // Drops the pool of one database (its file is about to be replaced).
  void Remove(std::string_view connect_string);
  // Drops every pool.
  void Clear();
  // Database::CheckFile() on every pool (the server's timer).
  void CheckFiles();

  // Settings of the pools opened from now on.
  void Configure(const DatabaseSettings& settings);
  size_t pool_count();

  static constexpr size_t kMaxPools = 64;
  // Connect string texts remembered with their identity (a look-up saved).
  static constexpr size_t kMaxTexts = 1024;

 private:
  struct Entry {
    std::shared_ptr<Database> database;
    uint64_t last_used = 0;
  };
  std::string IdentityOf(std::string_view connect_string);

  std::mutex mutex_;
  DatabaseSettings settings_;                              // GUARDED_BY(mutex_)
  std::unordered_map<std::string, Entry> pools_;           // GUARDED_BY(mutex_)
  // GUARDED_BY(mutex_)
  std::unordered_map<std::string, std::string, TransparentStringHash, std::equal_to<>> texts_;
  uint64_t uses_ = 0;                                      // GUARDED_BY(mutex_)
};

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_DATABASE_H_

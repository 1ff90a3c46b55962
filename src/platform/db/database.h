// Database: the pool of native connections for one connect string, and the
// registry of pools of a process.
//
// Opening a connection is expensive (and so is preparing statements); a pool
// keeps idle handles with their prepared statements, as ADO's session pooling
// did. An SQLite database is opened in WAL mode with a busy timeout, so that
// concurrent calls wait for each other instead of failing.
//
// Thread-safety: Database and DatabaseRegistry are safe to use from any
// thread. A Lease belongs to one thread.
#ifndef LXM_PLATFORM_DB_DATABASE_H_
#define LXM_PLATFORM_DB_DATABASE_H_

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/db/connect_string.h"
#include "platform/db/native_connection.h"

namespace lxm {

class Database : public std::enable_shared_from_this<Database> {
 public:
  // A connection taken from the pool; it goes back on destruction.
  class Lease {
   public:
    Lease() = default;
    Lease(std::shared_ptr<Database> owner, std::unique_ptr<NativeConnection> connection);
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
  };

  // Opens the pool. The database file must exist: a connect string naming a
  // missing file raises a database error and creates nothing. With `create`
  // (schema set-up only) a missing SQLite file is created.
  static std::shared_ptr<Database> Open(const ConnectString& connect_string,
                                        bool create = false);

  Lease Acquire();

  const ConnectString& connect_string() const { return connect_string_; }
  Backend backend() const { return connect_string_.backend; }

  // The busy timeout of new SQLite handles.
  static constexpr int kBusyTimeoutMs = 30000;
  // Idle handles kept per pool.
  static constexpr size_t kMaxIdle = 16;

 private:
  explicit Database(ConnectString connect_string);
  std::unique_ptr<NativeConnection> OpenNative(bool create);
  void Return(std::unique_ptr<NativeConnection> connection);

  ConnectString connect_string_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<NativeConnection>> idle_;  // GUARDED_BY(mutex_)
};

// The pools of a process, one per connect string text.
class DatabaseRegistry {
 public:
  // The pool for a connect string, opened on first use. Raises the provider
  // or open error; a failed open is not remembered.
  std::shared_ptr<Database> Get(std::string_view connect_string);

  // Drops the pool of one connect string (its file is about to be replaced).
  void Remove(std::string_view connect_string);
  // Drops every pool.
  void Clear();

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<Database>> pools_;  // GUARDED_BY(mutex_)
};

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_DATABASE_H_

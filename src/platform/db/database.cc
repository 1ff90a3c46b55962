#include "platform/db/database.h"

#include <sys/stat.h>

#include <chrono>
#include <utility>

#include "platform/com_error.h"
#include "platform/log.h"
#include "platform/db/postgres_connection.h"
#include "platform/db/sqlite_connection.h"

namespace lxm {

Database::Lease::Lease(std::shared_ptr<Database> owner, std::unique_ptr<NativeConnection> connection,
                       uint64_t generation)
    : owner_(std::move(owner)), connection_(std::move(connection)), generation_(generation) {}

Database::Lease& Database::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    if (owner_ && connection_) owner_->Return(std::move(connection_), generation_);
    owner_ = std::move(other.owner_);
    connection_ = std::move(other.connection_);
    generation_ = other.generation_;
  }
  return *this;
}

Database::Lease::~Lease() {
  if (owner_ && connection_) owner_->Return(std::move(connection_), generation_);
}

void Database::Lease::Discard() {
  if (owner_ && connection_) owner_->Return(nullptr, generation_);
  connection_.reset();
}

Database::Database(ConnectString connect_string, const DatabaseSettings& settings)
    : connect_string_(std::move(connect_string)), settings_(settings) {}

std::shared_ptr<Database> Database::Open(const ConnectString& connect_string, bool create,
                                         const DatabaseSettings& settings) {
  std::shared_ptr<Database> database(new Database(connect_string, settings));
  // The first handle proves the database can be opened and sets it up.
  std::unique_ptr<NativeConnection> first = database->OpenUnwrapped(create);
  if (auto* sqlite = dynamic_cast<SQLiteConnection*>(first.get())) {
    sqlite->EnableWriteAheadLog();
  }
  first = database->Wrapped(std::move(first));
  {
    std::lock_guard<std::mutex> lock(database->mutex_);
    ++database->leased_;
    // The file the handle opened (it exists now, even when just created).
    if (connect_string.backend == Backend::kSQLite) database->file_ = database->IdentityOnDisk();
  }
  database->Return(std::move(first), 0);
  return database;
}

std::optional<Database::FileIdentity> Database::IdentityOnDisk() const {
  struct stat info {};
  if (::stat(connect_string_.data_source().c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

bool Database::CheckFile() {
  if (connect_string_.backend != Backend::kSQLite) return true;
  std::optional<FileIdentity> now = IdentityOnDisk();
  std::vector<std::unique_ptr<NativeConnection>> closing;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_replaced_) return false;
    if (now && now == file_) return true;
    file_replaced_ = true;
    ++generation_;
    closing.swap(idle_);
  }
  LogLine("the database file " + connect_string_.data_source() + " was " + (now ? "replaced" : "deleted") +
          " while it was served: its writes and reads are refused until an account database is in its place");
  // Closed outside the lock: closing may checkpoint into the old file.
  closing.clear();
  return false;
}

void Database::RequireSameFile() {
  if (!CheckFile()) ThrowReplaced("nothing was written");
}

void Database::ThrowReplaced(std::string_view why) const {
  throw DatabaseError("SQLite", "The database file " + connect_string_.data_source() +
                                    " was deleted or replaced while this server had it open (" +
                                    std::string(why) + "); it is served again once an account database is "
                                    "in its place and the calls on the old file have ended.");
}

void Database::TakeReplacement() {
  std::lock_guard<std::mutex> one_at_a_time(reopen_mutex_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_replaced_) return;  // another caller took it
    // A handle on the old file shares the path's write-ahead log: the new
    // file is opened only once every such handle is closed.
    if (leased_ > 0) ThrowReplaced("calls on the old file are still running");
  }
  if (!settings_.check_replacement) ThrowReplaced("this server does not take a replacement");
  std::optional<FileIdentity> now = IdentityOnDisk();
  if (!now) ThrowReplaced("no file is there now");
  try {
    settings_.check_replacement(connect_string_.data_source());
  } catch (const std::exception& error) {
    ThrowReplaced(std::string("the file there now is not served: ") + error.what());
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = now;
    file_replaced_ = false;
  }
  LogLine("the database file " + connect_string_.data_source() + " is served again");
}

std::unique_ptr<NativeConnection> Database::Wrapped(std::unique_ptr<NativeConnection> connection) const {
  if (!settings_.wrap_connection) return connection;
  return settings_.wrap_connection(std::move(connection));
}

std::unique_ptr<NativeConnection> Database::OpenUnwrapped(bool create) {
  switch (connect_string_.backend) {
    case Backend::kSQLite: {
      auto connection =
          SQLiteConnection::Open(connect_string_.data_source(), create, settings_.lock_wait_ms,
                                 settings_.durable_commits);
      connection->LimitJournalSize(kWalSizeLimit);
      return connection;
    }
    case Backend::kPostgreSQL:
      // The database must exist: `create` only makes the schema, in it.
      return PostgresConnection::Open(connect_string_, settings_.lock_wait_ms);
  }
  throw DatabaseError("PostgreSQL", "Unknown backend.");
}

Database::Lease Database::Acquire() {
  // A stat of the path: a file swapped under the pool is never read or
  // written through a handle of either file.
  if (!CheckFile()) TakeReplacement();
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++leased_;
    generation = generation_;
    if (!idle_.empty()) {
      std::unique_ptr<NativeConnection> connection = std::move(idle_.back());
      idle_.pop_back();
      return Lease(shared_from_this(), std::move(connection), generation);
    }
  }
  try {
    return Lease(shared_from_this(), Wrapped(OpenUnwrapped(false)), generation);
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    --leased_;
    throw;
  }
}

void Database::BeginWrite(NativeConnection& connection) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (writer_turn_taken_) {
      // Waiting for a writer of ours is short, unless that writer itself
      // waits for a lock held by another process.
      if (settings_.max_lock_waiters > 0 && writer_waits_outside_ &&
          std::chrono::steady_clock::now() - outside_since_ >= kOutsideWait &&
          1 + queued_writers_ >= settings_.max_lock_waiters) {
        ThrowBusy();
      }
      ++queued_writers_;
      bool turn = writer_turn_free_.wait_for(lock, std::chrono::milliseconds(settings_.lock_wait_ms),
                                             [this] { return !writer_turn_taken_; });
      --queued_writers_;
      if (!turn) ThrowBusy();
    }
    writer_turn_taken_ = true;
    writer_waits_outside_ = true;
    outside_since_ = std::chrono::steady_clock::now();
    wrote_since_checkpoint_ = true;
  }
  try {
    connection.Begin(true);
  } catch (const WriteLockBusy&) {
    EndWrite();
    ThrowBusy();
  } catch (...) {
    EndWrite();
    throw;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  writer_waits_outside_ = false;
}

void Database::EndWrite() noexcept {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    writer_turn_taken_ = false;
    writer_waits_outside_ = false;
  }
  writer_turn_free_.notify_one();
}

void Database::AfterCommit(NativeConnection& connection) noexcept {
  if (settings_.wal_bound_bytes <= 0) return;
  int64_t size = connection.LogSize();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (size <= settings_.wal_bound_bytes || size < next_bound_try_bytes_) return;
  }
  bool emptied = connection.BoundLog(settings_.wal_bound_bytes, settings_.wal_bound_wait_ms);
  std::lock_guard<std::mutex> lock(mutex_);
  // After a try that readers held up, the next waits for the log to grow by
  // another quarter of the bound: writers pay one wait per so many bytes.
  next_bound_try_bytes_ = emptied ? 0 : size + settings_.wal_bound_bytes / 4;
}

void Database::ThrowBusy() const {
  std::string name = connect_string_.backend == Backend::kSQLite ? connect_string_.data_source()
                                                                 : connect_string_.Get("Database");
  throw DatabaseError(connect_string_.backend == Backend::kSQLite ? "SQLite" : "PostgreSQL",
                      "The database '" + name +
                          "' is busy: its write lock is held elsewhere and did not come within " +
                          std::to_string(settings_.lock_wait_ms) +
                          " ms, or other writers wait for it already. Try again later.");
}

// A null connection only gives back its lease (the handle was dropped).
void Database::Return(std::unique_ptr<NativeConnection> connection, uint64_t generation) {
  bool checkpoint = false;
  bool stale = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stale = connection && (generation != generation_ || file_replaced_);
    if (!stale) {
      --leased_;
      if (!connection) return;
      if (leased_ == 0 && wrote_since_checkpoint_) {
        wrote_since_checkpoint_ = false;
        checkpoint = true;
      }
    }
  }
  if (stale) {
    // A handle on a file no longer served is closed before its lease ends:
    // a replacement is opened only once none is left.
    connection.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    --leased_;
    return;
  }
  // Quiet now: the log can go back into the database while nobody reads it.
  if (checkpoint) connection->CheckpointIfIdle(kQuietCheckpointBytes);
  std::lock_guard<std::mutex> lock(mutex_);
  if (idle_.size() < kMaxIdle) idle_.push_back(std::move(connection));
}

std::string DatabaseRegistry::IdentityOf(std::string_view connect_string) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = texts_.find(connect_string);
    if (it != texts_.end()) return it->second;
  }
  std::string text(connect_string);
  // Resolving the path may touch the file system: outside the lock.
  std::string identity = DatabaseIdentity(ParseConnectString(text));
  std::lock_guard<std::mutex> lock(mutex_);
  if (texts_.size() >= kMaxTexts) texts_.clear();
  texts_.emplace(std::move(text), identity);
  return identity;
}

std::shared_ptr<Database> DatabaseRegistry::Get(std::string_view connect_string) {
  {
    // The usual case, a text seen before naming an open pool: one lock, no copy.
    std::lock_guard<std::mutex> lock(mutex_);
    auto text = texts_.find(connect_string);
    if (text != texts_.end()) {
      auto it = pools_.find(text->second);
      if (it != pools_.end()) {
        it->second.last_used = ++uses_;
        return it->second.database;
      }
    }
  }
  std::string identity = IdentityOf(connect_string);
  DatabaseSettings settings;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = pools_.find(identity);
    if (it != pools_.end()) {
      it->second.last_used = ++uses_;
      return it->second.database;
    }
    settings = settings_;
  }
  // Opened outside the lock: opening may wait on the file.
  std::shared_ptr<Database> database =
      Database::Open(ParseConnectString(connect_string), false, settings);
  std::lock_guard<std::mutex> lock(mutex_);
  auto [it, inserted] = pools_.emplace(identity, Entry{database, 0});
  it->second.last_used = ++uses_;
  while (pools_.size() > kMaxPools) {
    auto oldest = pools_.begin();
    for (auto each = pools_.begin(); each != pools_.end(); ++each) {
      if (each->second.last_used < oldest->second.last_used) oldest = each;
    }
    pools_.erase(oldest);
  }
  return it->second.database;
}

void DatabaseRegistry::Remove(std::string_view connect_string) {
  std::string identity = DatabaseIdentity(ParseConnectString(connect_string));
  std::lock_guard<std::mutex> lock(mutex_);
  pools_.erase(identity);
  texts_.clear();
}

void DatabaseRegistry::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  pools_.clear();
  texts_.clear();
}

void DatabaseRegistry::CheckFiles() {
  std::vector<std::shared_ptr<Database>> pools;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [identity, entry] : pools_) pools.push_back(entry.database);
  }
  for (auto& database : pools) database->CheckFile();
}

void DatabaseRegistry::Configure(const DatabaseSettings& settings) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_ = settings;
}

size_t DatabaseRegistry::pool_count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return pools_.size();
}

}  // namespace lxm

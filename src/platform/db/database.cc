#include "platform/db/database.h"

#include "platform/com_error.h"
#include "platform/db/sqlite_connection.h"

namespace lxm {

Database::Lease::Lease(std::shared_ptr<Database> owner, std::unique_ptr<NativeConnection> connection)
    : owner_(std::move(owner)), connection_(std::move(connection)) {}

Database::Lease& Database::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    if (owner_ && connection_) owner_->Return(std::move(connection_));
    owner_ = std::move(other.owner_);
    connection_ = std::move(other.connection_);
  }
  return *this;
}

Database::Lease::~Lease() {
  if (owner_ && connection_) owner_->Return(std::move(connection_));
}

void Database::Lease::Discard() { connection_.reset(); }

Database::Database(ConnectString connect_string) : connect_string_(std::move(connect_string)) {}

std::shared_ptr<Database> Database::Open(const ConnectString& connect_string, bool create) {
  std::shared_ptr<Database> database(new Database(connect_string));
  // The first handle proves the database can be opened and sets it up.
  std::unique_ptr<NativeConnection> first = database->OpenNative(create);
  if (auto* sqlite = dynamic_cast<SQLiteConnection*>(first.get())) {
    sqlite->EnableWriteAheadLog();
  }
  database->Return(std::move(first));
  return database;
}

std::unique_ptr<NativeConnection> Database::OpenNative(bool create) {
  switch (connect_string_.backend) {
    case Backend::kSQLite:
      return SQLiteConnection::Open(connect_string_.data_source(), create, kBusyTimeoutMs);
    case Backend::kPostgreSQL:
      break;
  }
  throw DatabaseError("PostgreSQL", "The PostgreSQL backend is not available in this build.");
}

Database::Lease Database::Acquire() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<NativeConnection> connection = std::move(idle_.back());
      idle_.pop_back();
      return Lease(shared_from_this(), std::move(connection));
    }
  }
  return Lease(shared_from_this(), OpenNative(false));
}

void Database::Return(std::unique_ptr<NativeConnection> connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (idle_.size() < kMaxIdle) idle_.push_back(std::move(connection));
}

std::shared_ptr<Database> DatabaseRegistry::Get(std::string_view connect_string) {
  std::string key(connect_string);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = pools_.find(key);
    if (it != pools_.end()) return it->second;
  }
  // Opened outside the lock: opening may wait on the file.
  std::shared_ptr<Database> database = Database::Open(ParseConnectString(key));
  std::lock_guard<std::mutex> lock(mutex_);
  auto [it, inserted] = pools_.emplace(key, database);
  return it->second;
}

void DatabaseRegistry::Remove(std::string_view connect_string) {
  std::lock_guard<std::mutex> lock(mutex_);
  pools_.erase(std::string(connect_string));
}

void DatabaseRegistry::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  pools_.clear();
}

}  // namespace lxm

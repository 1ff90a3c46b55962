#include "platform/db/sqlite_connection.h"

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/com_error.h"
#include "platform/convert.h"
#include "platform/db/wal_index_header.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

constexpr std::string_view kBackend = "SQLite";

// Field type from a declared column type, following SQLite's affinity rules
// where they apply.
FieldType TypeFromDecl(const char* decl, bool* row_version) {
  *row_version = false;
  if (decl == nullptr) return FieldType::kEmpty;
  std::string upper = ToUpperAscii(decl);
  if (upper == "ROWVERSION") {
    *row_version = true;
    return FieldType::kBinary;
  }
  if (upper.find("INT") != std::string::npos) return FieldType::kInteger;
  if (upper.find("CHAR") != std::string::npos || upper.find("TEXT") != std::string::npos ||
      upper.find("CLOB") != std::string::npos) {
    return FieldType::kVarWChar;
  }
  if (upper.find("BLOB") != std::string::npos || upper.find("BINARY") != std::string::npos) {
    return FieldType::kVarBinary;
  }
  if (upper.find("REAL") != std::string::npos || upper.find("FLOA") != std::string::npos ||
      upper.find("DOUB") != std::string::npos) {
    return FieldType::kDouble;
  }
  if (upper.find("BIT") != std::string::npos || upper.find("BOOL") != std::string::npos) {
    return FieldType::kBoolean;
  }
  return FieldType::kEmpty;
}

FieldType TypeFromStorage(int storage) {
  switch (storage) {
    case SQLITE_INTEGER: return FieldType::kInteger;
    case SQLITE_FLOAT: return FieldType::kDouble;
    case SQLITE_BLOB: return FieldType::kVarBinary;
    case SQLITE_TEXT: return FieldType::kVarWChar;
    default: return FieldType::kEmpty;
  }
}

Bytes BigEndian(int64_t value) {
  Bytes bytes(8);
  uint64_t bits = static_cast<uint64_t>(value);
  for (int i = 7; i >= 0; --i) {
    bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(bits & 0xff);
    bits >>= 8;
  }
  return bytes;
}

// Resets the statement however the caller leaves.
class StatementReset {
 public:
  explicit StatementReset(sqlite3_stmt* statement) : statement_(statement) {}
  ~StatementReset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }

 private:
  sqlite3_stmt* statement_;
};

}  // namespace

std::unique_ptr<SQLiteConnection> SQLiteConnection::Open(const std::string& path, bool create,
                                                         int busy_timeout_ms, bool durable) {
  if (path.empty()) {
    throw DatabaseError(kBackend, "The connect string names no database file (Data Source).");
  }
  if (!create) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
      throw DatabaseError(kBackend, "The database file '" + path + "' does not exist.");
    }
  }
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    throw DatabaseError(kBackend, "Cannot open the database file '" + path + "': " + message);
  }
  std::unique_ptr<SQLiteConnection> connection(new SQLiteConnection(db, busy_timeout_ms));
  sqlite3_busy_timeout(db, busy_timeout_ms);
  sqlite3_extended_result_codes(db, 1);
  connection->ExecPlain(durable ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
  // Sorts and temporary indexes of reads in memory: a read never needs room
  // on a disk that may be full.
  connection->ExecPlain("PRAGMA temp_store=MEMORY");
  return connection;
}

SQLiteConnection::~SQLiteConnection() {
  for (auto& [text, statement] : statements_) sqlite3_finalize(statement);
  sqlite3_close_v2(db_);
}

void SQLiteConnection::Fail() const { throw DatabaseError(kBackend, sqlite3_errmsg(db_)); }

void SQLiteConnection::ExecPlain(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    throw DatabaseError(kBackend, text);
  }
}

void SQLiteConnection::EnableWriteAheadLog() {
  ExecPlain("PRAGMA journal_mode=WAL");
  write_ahead_log_.reset();
}

void SQLiteConnection::LimitJournalSize(int64_t bytes) {
  ExecPlain("PRAGMA journal_size_limit=" + std::to_string(bytes));
}

void SQLiteConnection::CopyFrom(const std::string& source) {
  kept().Clear();
  std::unique_ptr<SQLiteConnection> from = Open(source, false, busy_timeout_ms_);
  auto page_size = [](SQLiteConnection& connection) {
    return connection.Query("PRAGMA page_size", {}).Value(size_t{0}).AsLong();
  };
  // A copy into a database in WAL mode cannot change its page size.
  if (page_size(*this) != page_size(*from)) ExecPlain("PRAGMA journal_mode=DELETE");
  sqlite3_backup* backup = sqlite3_backup_init(db_, "main", from->db_, "main");
  if (backup == nullptr) Fail();
  int rc = sqlite3_backup_step(backup, -1);
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) {
    throw DatabaseError(kBackend, "Cannot copy '" + source + "': " + sqlite3_errstr(rc));
  }
}

bool SQLiteConnection::read_only() const { return sqlite3_db_readonly(db_, "main") == 1; }

int64_t SQLiteConnection::LogSize() const {
  const char* file = sqlite3_db_filename(db_, "main");
  if (file == nullptr || *file == '\0') return 0;
  std::error_code ec;
  auto size = std::filesystem::file_size(std::string(file) + "-wal", ec);
  return ec ? 0 : static_cast<int64_t>(size);
}

void SQLiteConnection::CheckpointIfIdle(int64_t min_bytes) {
  if (LogSize() <= min_bytes) return;
  sqlite3_busy_timeout(db_, 0);
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  sqlite3_busy_timeout(db_, busy_timeout_ms_);
}

bool SQLiteConnection::BoundLog(int64_t max_bytes, int wait_ms) {
  if (LogSize() <= max_bytes) return true;
  // The busy handler is what waits: for the write lock (another process may
  // hold it) and for readers still on frames of the log. It looks every
  // millisecond, as readers free the log between two short reads. New
  // readers start from the database file once the log is copied back, so
  // they go on meanwhile.
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  sqlite3_busy_handler(
      db_,
      [](void* deadline, int) -> int {
        if (std::chrono::steady_clock::now() >= *static_cast<decltype(until)*>(deadline)) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 1;
      },
      &until);
  int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  sqlite3_busy_timeout(db_, busy_timeout_ms_);  // back to the usual handler
  return rc == SQLITE_OK;
}

std::optional<uint64_t> SQLiteConnection::ContentVersion() {
  // Outside a transaction the answer is about the newest commit. While the
  // shared WAL-index header reads as it did when this handle last asked,
  // nobody has committed since and the answer stands; the header is read
  // before the version, so that a commit in between makes them disagree
  // next time rather than hide.
  std::optional<WalIndexHeader> header;
  if (write_ahead_log_ == true && sqlite3_get_autocommit(db_) != 0) {
    header = ReadWalIndexHeader(db_);
    if (header && seen_header_ == header) return seen_version_;
  }
  seen_header_.reset();
  // The pragma starts the read (or finds the transaction's) and brings the
  // pager's data version up to date with other connections' commits; the
  // pager's number then also counts this handle's own commits, which the
  // pragma alone leaves out.
  sqlite3_stmt* statement = Prepare("PRAGMA data_version");
  StatementReset reset(statement);
  if (sqlite3_step(statement) != SQLITE_ROW) Fail();
  unsigned int version = 0;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK) {
    return std::nullopt;
  }
  if (!write_ahead_log_) {
    // Asked once: a database leaves WAL mode only with no other connection
    // open, and the header is only there to look at in that mode.
    Recordset mode = Query("PRAGMA journal_mode", {});
    write_ahead_log_ = !mode.Eof() && EqualsIgnoreCase(CStr(mode.Value(size_t{0})), "wal");
  }
  if (header) {
    seen_header_ = header;
    seen_version_ = version;
  }
  return version;
}

sqlite3_stmt* SQLiteConnection::Prepare(std::string_view sql) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) return it->second;
  std::string key(sql);
  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v3(db_, key.data(), static_cast<int>(key.size()), SQLITE_PREPARE_PERSISTENT,
                         &statement, &tail) != SQLITE_OK) {
    Fail();
  }
  if (statement == nullptr) {
    throw DatabaseError(kBackend, "The statement text is empty.");
  }
  // One statement per call: a second one in the text would be ignored silently.
  if (tail != nullptr && std::string_view(tail).find_first_not_of(" \t\r\n;") != std::string_view::npos) {
    sqlite3_finalize(statement);
    throw DatabaseError(kBackend, "The statement text holds more than one statement.");
  }
  if (statements_.size() >= kMaxCachedStatements) {
    for (auto& [text, cached] : statements_) sqlite3_finalize(cached);
    statements_.clear();
  }
  statements_.emplace(std::move(key), statement);
  return statement;
}

void SQLiteConnection::Bind(sqlite3_stmt* statement, const Params& params) {
  int expected = sqlite3_bind_parameter_count(statement);
  if (expected != static_cast<int>(params.size())) {
    throw DatabaseError(kBackend, "The statement expects " + std::to_string(expected) +
                                      " parameters; " + std::to_string(params.size()) +
                                      " were given.");
  }
  for (size_t i = 0; i < params.size(); ++i) {
    int slot = static_cast<int>(i) + 1;
    const Variant& value = params[i];
    int rc = SQLITE_OK;
    switch (value.kind()) {
      case VariantKind::kEmpty:
      case VariantKind::kNull: rc = sqlite3_bind_null(statement, slot); break;
      case VariantKind::kBoolean: rc = sqlite3_bind_int(statement, slot, value.AsBool() ? 1 : 0); break;
      case VariantKind::kLong: rc = sqlite3_bind_int(statement, slot, value.AsLong()); break;
      case VariantKind::kDouble: rc = sqlite3_bind_double(statement, slot, value.AsDouble()); break;
      case VariantKind::kString: {
        const std::string& text = value.AsString();
        rc = sqlite3_bind_text64(statement, slot, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
        break;
      }
      case VariantKind::kBytes: {
        const Bytes& bytes = value.AsBytes();
        rc = sqlite3_bind_blob64(statement, slot, bytes.data(), bytes.size(), SQLITE_STATIC);
        break;
      }
      default: throw RuntimeError(errors::kTypeMismatch);
    }
    if (rc != SQLITE_OK) Fail();
  }
}

Recordset SQLiteConnection::Query(std::string_view sql, const Params& params) {
  sqlite3_stmt* statement = Prepare(sql);
  StatementReset reset(statement);
  Bind(statement, params);

  int columns = sqlite3_column_count(statement);
  std::vector<Field> fields(static_cast<size_t>(columns));
  std::vector<bool> row_version(static_cast<size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    bool is_row_version = false;
    fields[static_cast<size_t>(c)].name = sqlite3_column_name(statement, c);
    fields[static_cast<size_t>(c)].type = TypeFromDecl(sqlite3_column_decltype(statement, c), &is_row_version);
    row_version[static_cast<size_t>(c)] = is_row_version;
  }

  std::vector<Row> rows;
  while (true) {
    int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) Fail();
    Row row(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      size_t slot = static_cast<size_t>(c);
      int storage = sqlite3_column_type(statement, c);
      if (fields[slot].type == FieldType::kEmpty) fields[slot].type = TypeFromStorage(storage);
      switch (storage) {
        case SQLITE_NULL: row[slot] = Variant::Null(); break;
        case SQLITE_INTEGER: {
          int64_t value = sqlite3_column_int64(statement, c);
          if (row_version[slot]) {
            row[slot] = BigEndian(value);
          } else if (fields[slot].type == FieldType::kBoolean) {
            row[slot] = value != 0;
          } else {
            row[slot] = Variant::FromInt64(value);
          }
          break;
        }
        case SQLITE_FLOAT: row[slot] = sqlite3_column_double(statement, c); break;
        case SQLITE_TEXT: {
          const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
          row[slot] = std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, c)));
          break;
        }
        default: {
          const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(statement, c));
          row[slot] = Bytes(data, data + sqlite3_column_bytes(statement, c));
          break;
        }
      }
    }
    rows.push_back(std::move(row));
  }
  for (Field& field : fields) {
    if (field.type == FieldType::kEmpty) field.type = FieldType::kVarWChar;
  }
  return Recordset(std::move(fields), std::move(rows));
}

int64_t SQLiteConnection::Execute(std::string_view sql, const Params& params) {
  sqlite3_stmt* statement = Prepare(sql);
  StatementReset reset(statement);
  Bind(statement, params);
  while (true) {
    int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) Fail();
  }
  return sqlite3_changes64(db_);
}

void SQLiteConnection::ExecuteScript(std::string_view sql) { ExecPlain(std::string(sql)); }

// Transaction statements run once per call: kept prepared like the others.
void SQLiteConnection::Begin(bool for_write) {
  if (!for_write) {
    Execute("BEGIN", {});
    return;
  }
  sqlite3_stmt* statement = Prepare("BEGIN IMMEDIATE");
  StatementReset reset(statement);
  int rc = sqlite3_step(statement);
  if ((rc & 0xff) == SQLITE_BUSY) throw WriteLockBusy(sqlite3_errmsg(db_));
  if (rc != SQLITE_DONE) Fail();
}
void SQLiteConnection::Commit() { Execute("COMMIT", {}); }
void SQLiteConnection::Rollback() { Execute("ROLLBACK", {}); }
void SQLiteConnection::Savepoint(std::string_view name) { ExecPlain("SAVEPOINT " + std::string(name)); }
void SQLiteConnection::ReleaseSavepoint(std::string_view name) {
  ExecPlain("RELEASE SAVEPOINT " + std::string(name));
}
void SQLiteConnection::RollbackToSavepoint(std::string_view name) {
  ExecPlain("ROLLBACK TO SAVEPOINT " + std::string(name));
}

}  // namespace lxm

#include "platform/db/postgres_connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/com_error.h"
#include "platform/db/column_spelling.h"
#include "platform/db/null_ordering.h"
#include "platform/db/redacted_connect_string.h"
#include "platform/db/sql_text.h"

namespace lxm {

namespace {

constexpr std::string_view kBackend = "PostgreSQL";

// Built-in type OIDs (pg_type.h); they never change.
constexpr Oid kBoolOid = 16;
constexpr Oid kByteaOid = 17;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kNumericOid = 1700;

// SQLSTATE of a lock that did not come within lock_timeout.
constexpr std::string_view kLockNotAvailable = "55P03";

// libpq's messages end with a newline.
std::string Trimmed(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

Bytes DecodeHexBytea(const char* text, int length) {
  // The text form of bytea is "\x" and two hex digits per byte.
  Bytes bytes;
  if (length < 2 || text[0] != '\\' || text[1] != 'x') return bytes;
  auto digit = [](char c) -> uint8_t {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return static_cast<uint8_t>(c - 'A' + 10);
  };
  bytes.reserve(static_cast<size_t>(length - 2) / 2);
  for (int i = 2; i + 1 < length; i += 2) {
    bytes.push_back(static_cast<uint8_t>(digit(text[i]) << 4 | digit(text[i + 1])));
  }
  return bytes;
}

// The parameter's type as libpq takes it; 0 lets the server infer it.
Oid ParamType(const Variant& value) {
  switch (value.kind()) {
    case VariantKind::kBoolean:
    case VariantKind::kLong: return kInt4Oid;
    case VariantKind::kDouble: return kFloat8Oid;
    case VariantKind::kBytes: return kByteaOid;
    case VariantKind::kEmpty:
    case VariantKind::kNull:
    case VariantKind::kString: return 0;
    default: throw RuntimeError(errors::kTypeMismatch);
  }
}

}  // namespace

std::string NumberPlaceholders(std::string_view sql, int* count) {
  std::string out;
  out.reserve(sql.size() + 16);
  *count = 0;
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'' || c == '"') {
      // Copied whole.
      size_t end = EndOfQuoted(sql, i);
      out.append(sql.substr(i, end - i));
      i = end;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      size_t end = EndOfComment(sql, i);
      out.append(sql.substr(i, end - i));
      i = end;
    } else if (c == '?') {
      out += '$' + std::to_string(++*count);
      ++i;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

struct PostgresConnection::Prepared {
  std::string name;
  int parameter_count = 0;
  ColumnSpelling spelling;
};

// Owns a PGresult.
class PostgresConnection::Result {
 public:
  explicit Result(PGresult* result) : result_(result) {}
  Result(Result&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  ~Result() { PQclear(result_); }
  PGresult* get() const { return result_; }

 private:
  PGresult* result_;
};

std::unique_ptr<PostgresConnection> PostgresConnection::Open(const ConnectString& connect_string,
                                                             int busy_timeout_ms) {
  std::string password = connect_string.Get("Password");
  std::string host = connect_string.Get("Host");
  std::string port = connect_string.Get("Port");
  std::string database = connect_string.Get("Database");
  std::string user = connect_string.Get("User ID");
  if (database.empty()) {
    throw DatabaseError(kBackend, "The connect string names no database (Database).");
  }
  // Only the properties given; libpq's defaults (and its PG* environment
  // variables) for the rest.
  std::vector<const char*> keys;
  std::vector<const char*> values;
  auto add = [&](const char* key, const std::string& value) {
    if (value.empty()) return;
    keys.push_back(key);
    values.push_back(value.c_str());
  };
  add("host", host);
  add("port", port);
  add("dbname", database);
  add("user", user);
  add("password", password);
  keys.push_back("client_encoding");
  values.push_back("UTF8");
  keys.push_back("application_name");
  values.push_back("lxmdataflow");
  keys.push_back(nullptr);
  values.push_back(nullptr);

  pg_conn* connection = PQconnectdbParams(keys.data(), values.data(), 0);
  if (connection == nullptr) throw DatabaseError(kBackend, "Out of memory connecting to PostgreSQL.");
  if (PQstatus(connection) != CONNECTION_OK) {
    std::string message = WithoutPassword(Trimmed(PQerrorMessage(connection)), password);
    PQfinish(connection);
    throw DatabaseError(kBackend, "Cannot connect to the PostgreSQL database '" + database +
                                      "': " + message);
  }
  // Notices (such as "relation exists, skipping") are not errors and must
  // not reach standard error.
  PQsetNoticeProcessor(connection, [](void*, const char*) {}, nullptr);
  return std::unique_ptr<PostgresConnection>(
      new PostgresConnection(connection, std::move(password), busy_timeout_ms));
}

PostgresConnection::PostgresConnection(pg_conn* connection, std::string password,
                                       int busy_timeout_ms)
    : connection_(connection), password_(std::move(password)), busy_timeout_ms_(busy_timeout_ms) {}

PostgresConnection::~PostgresConnection() { PQfinish(connection_); }

void PostgresConnection::Fail(std::string message) const {
  throw DatabaseError(kBackend, WithoutPassword(std::move(message), password_));
}

void PostgresConnection::ExecPlain(const std::string& sql) {
  Result result(PQexec(connection_, sql.c_str()));
  ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    Fail(Trimmed(PQerrorMessage(connection_)));
  }
}

const PostgresConnection::Prepared& PostgresConnection::Prepare(std::string_view sql,
                                                                const Params& params) {
  // The parameters' types are part of the prepared statement.
  std::vector<Oid> types;
  types.reserve(params.size());
  std::string key(sql);
  key += '\0';
  for (const Variant& value : params) {
    types.push_back(ParamType(value));
    key += std::to_string(types.back()) + ",";
  }
  auto it = statements_.find(key);
  if (it != statements_.end()) return *it->second;

  int count = 0;
  std::string text = NumberPlaceholders(WithNullsOrderedFirst(sql), &count);
  if (count != static_cast<int>(params.size())) {
    Fail("The statement expects " + std::to_string(count) + " parameters; " +
         std::to_string(params.size()) + " were given.");
  }
  if (statements_.size() >= kMaxCachedStatements) {
    ExecPlain("DEALLOCATE ALL");
    statements_.clear();
  }
  auto prepared = std::make_unique<Prepared>(
      Prepared{"lxm_" + std::to_string(++next_statement_), count, ColumnSpelling(sql)});
  Result result(PQprepare(connection_, prepared->name.c_str(), text.c_str(), count,
                          types.empty() ? nullptr : types.data()));
  if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) Fail(Trimmed(PQerrorMessage(connection_)));
  return *statements_.emplace(std::move(key), std::move(prepared)).first->second;
}

PostgresConnection::Result PostgresConnection::Run(std::string_view sql, const Params& params,
                                                  const Prepared** used) {
  const Prepared& prepared = Prepare(sql, params);
  if (used != nullptr) *used = &prepared;
  std::vector<std::string> texts(params.size());
  std::vector<const char*> values(params.size(), nullptr);
  std::vector<int> lengths(params.size(), 0);
  std::vector<int> formats(params.size(), 0);
  for (size_t i = 0; i < params.size(); ++i) {
    const Variant& value = params[i];
    switch (value.kind()) {
      case VariantKind::kEmpty:
      case VariantKind::kNull: continue;  // a null pointer is NULL
      case VariantKind::kBoolean: texts[i] = value.AsBool() ? "1" : "0"; break;
      case VariantKind::kLong: texts[i] = std::to_string(value.AsLong()); break;
      case VariantKind::kDouble: {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", value.AsDouble());
        texts[i] = buffer;
        break;
      }
      case VariantKind::kString: texts[i] = value.AsString(); break;
      case VariantKind::kBytes: {
        const Bytes& bytes = value.AsBytes();
        values[i] = reinterpret_cast<const char*>(bytes.data());
        lengths[i] = static_cast<int>(bytes.size());
        formats[i] = 1;  // binary: sent as they are
        continue;
      }
      default: throw RuntimeError(errors::kTypeMismatch);
    }
    values[i] = texts[i].c_str();
    lengths[i] = static_cast<int>(texts[i].size());
  }
  Result result(PQexecPrepared(connection_, prepared.name.c_str(), static_cast<int>(params.size()),
                               values.data(), lengths.data(), formats.data(), 0));
  ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
    if (state != nullptr && kLockNotAvailable == state) {
      throw WriteLockBusy(Trimmed(PQresultErrorMessage(result.get())));
    }
    Fail(Trimmed(PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY) != nullptr
                     ? PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY)
                     : PQerrorMessage(connection_)));
  }
  return result;
}

FieldType PostgresConnection::TypeOf(unsigned int oid) {
  switch (oid) {
    case kBoolOid:
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid: return FieldType::kInteger;
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid: return FieldType::kDouble;
    case kByteaOid: return FieldType::kVarBinary;
    default: return FieldType::kVarWChar;  // text, varchar, citext and the rest
  }
}

bool PostgresConnection::IsRowVersion(unsigned int table, int column) {
  // Results name a domain column by its base type (bytea); the column's
  // table and number tell the row-version columns apart.
  if (table == 0) return false;
  if (!row_version_columns_) {
    row_version_columns_.emplace();
    Result result(PQexec(connection_,
                         "SELECT a.attrelid, a.attnum FROM pg_attribute a JOIN pg_type t "
                         "ON t.oid = a.atttypid WHERE t.typname = 'rowversion' AND NOT a.attisdropped"));
    if (PQresultStatus(result.get()) == PGRES_TUPLES_OK) {
      for (int r = 0; r < PQntuples(result.get()); ++r) {
        row_version_columns_->emplace(std::strtoul(PQgetvalue(result.get(), r, 0), nullptr, 10),
                                      std::atoi(PQgetvalue(result.get(), r, 1)));
      }
    }
  }
  return row_version_columns_->count({table, column}) > 0;
}

Recordset PostgresConnection::Query(std::string_view sql, const Params& params) {
  const Prepared* prepared = nullptr;
  Result result = Run(sql, params, &prepared);
  PGresult* data = result.get();
  int columns = PQnfields(data);
  int row_count = PQntuples(data);
  std::vector<Field> fields(static_cast<size_t>(columns));
  std::vector<Oid> oids(static_cast<size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    size_t slot = static_cast<size_t>(c);
    oids[slot] = PQftype(data, c);
    fields[slot].name = prepared->spelling.Restore(PQfname(data, c));
    fields[slot].type = TypeOf(oids[slot]);
    if (oids[slot] == kByteaOid && IsRowVersion(PQftable(data, c), PQftablecol(data, c))) {
      fields[slot].type = FieldType::kBinary;
    }
    if (oids[slot] == kNumericOid) fields[slot].type = FieldType::kEmpty;
  }
  std::vector<FieldType> numeric_type(static_cast<size_t>(columns), FieldType::kEmpty);
  std::vector<Row> rows;
  rows.reserve(static_cast<size_t>(row_count));
  for (int r = 0; r < row_count; ++r) {
    Row row(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      size_t slot = static_cast<size_t>(c);
      if (PQgetisnull(data, r, c)) {
        row[slot] = Variant::Null();
        continue;
      }
      const char* text = PQgetvalue(data, r, c);
      int length = PQgetlength(data, r, c);
      switch (fields[slot].type) {
        case FieldType::kInteger:
          if (oids[slot] == kBoolOid) {
            // A comparison in a select list: SQLite gives 1 or 0.
            row[slot] = Variant(static_cast<int32_t>(text[0] == 't' ? 1 : 0));
          } else {
            row[slot] = Variant::FromInt64(std::strtoll(text, nullptr, 10));
          }
          break;
        case FieldType::kDouble: row[slot] = std::strtod(text, nullptr); break;
        case FieldType::kEmpty: {
          // A numeric (SUM of bigints): an integer when it has no fraction,
          // typed by its first value as SQLite types an expression.
          std::string_view digits(text, static_cast<size_t>(length));
          bool integral = digits.find_first_of(".eEN") == std::string_view::npos;
          row[slot] = integral ? Variant::FromInt64(std::strtoll(text, nullptr, 10))
                               : Variant(std::strtod(text, nullptr));
          if (numeric_type[slot] == FieldType::kEmpty) {
            numeric_type[slot] = integral ? FieldType::kInteger : FieldType::kDouble;
          }
          break;
        }
        case FieldType::kBinary:
        case FieldType::kVarBinary: row[slot] = DecodeHexBytea(text, length); break;
        default: row[slot] = std::string(text, static_cast<size_t>(length)); break;
      }
    }
    rows.push_back(std::move(row));
  }
  for (int c = 0; c < columns; ++c) {
    size_t slot = static_cast<size_t>(c);
    if (oids[slot] != kNumericOid) continue;
    fields[slot].type = numeric_type[slot] == FieldType::kEmpty ? FieldType::kDouble : numeric_type[slot];
  }
  return Recordset(std::move(fields), std::move(rows));
}

int64_t PostgresConnection::Execute(std::string_view sql, const Params& params) {
  Result result = Run(sql, params);
  const char* changed = PQcmdTuples(result.get());
  return changed != nullptr && *changed != '\0' ? std::strtoll(changed, nullptr, 10) : 0;
}

void PostgresConnection::ExecuteScript(std::string_view sql) { ExecPlain(std::string(sql)); }

void PostgresConnection::Begin(bool for_write) {
  if (!for_write) {
    ExecPlain("BEGIN ISOLATION LEVEL REPEATABLE READ");
    return;
  }
  // One round trip: the transaction, how long it waits for a lock, and the
  // write lock. Both numbers are this program's own.
  const std::string begin = "BEGIN ISOLATION LEVEL READ COMMITTED; SET LOCAL lock_timeout = " +
                            std::to_string(busy_timeout_ms_) + "; SELECT pg_advisory_xact_lock(" +
                            std::to_string(kWriteLockKey) + ")";
  Result result(PQexec(connection_, begin.c_str()));
  ExecStatusType status = PQresultStatus(result.get());
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return;
  const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
  const std::string message = Trimmed(PQerrorMessage(connection_));
  if (PQtransactionStatus(connection_) != PQTRANS_IDLE) {
    try {
      Rollback();
    } catch (const std::exception&) {
      // The first failure is the one to report.
    }
  }
  if (state != nullptr && kLockNotAvailable == state) throw WriteLockBusy(message);
  Fail(message);
}

void PostgresConnection::Commit() {
  // PostgreSQL answers COMMIT of a transaction that a failed statement
  // aborted with a rollback, not an error: the caller must learn of it.
  Result result(PQexec(connection_, "COMMIT"));
  if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) Fail(Trimmed(PQerrorMessage(connection_)));
  if (std::string_view(PQcmdStatus(result.get())) == "ROLLBACK") {
    Fail("The transaction was rolled back: a statement in it had failed.");
  }
}

void PostgresConnection::Rollback() { ExecPlain("ROLLBACK"); }
void PostgresConnection::Savepoint(std::string_view name) { ExecPlain("SAVEPOINT " + std::string(name)); }
void PostgresConnection::ReleaseSavepoint(std::string_view name) {
  ExecPlain("RELEASE SAVEPOINT " + std::string(name));
}
void PostgresConnection::RollbackToSavepoint(std::string_view name) {
  ExecPlain("ROLLBACK TO SAVEPOINT " + std::string(name));
}

std::string PostgresConnection::ServerVersion() const {
  const char* version = PQparameterStatus(connection_, "server_version");
  return version != nullptr ? version : "";
}

}  // namespace lxm

#include "test_support/scratch_account.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "platform/db/connect_string.h"
#include "platform/db/postgres_connection.h"
#include "platform/db/sqlite_connection.h"
#include "tree/postgres_account.h"

namespace lxm::test {
namespace {

std::string UniqueSuffix() {
  static std::atomic<int> counter{0};
  return std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007);
}

std::string ServerConnectString() {
  const char* text = std::getenv("LXM_TEST_PG");
  if (text == nullptr || *text == '\0') {
    throw std::runtime_error("LXM_TEST_BACKEND=postgres needs LXM_TEST_PG, the connect string of a database");
  }
  return text;
}

std::unique_ptr<PostgresConnection> OpenServer() {
  return PostgresConnection::Open(ParseConnectString(ServerConnectString()), 60000);
}

std::string Braced(const std::string& value) {
  return value.find(';') == std::string::npos ? value : "{" + value + "}";
}

// The server's connect string with another database.
std::string ConnectStringOf(const std::string& database) {
  ConnectString server = ParseConnectString(ServerConnectString());
  std::string text = "Provider=PostgreSQL;Host=" + Braced(server.Get("Host")) + ";Port=" +
                     Braced(server.Get("Port")) + ";Database=" + database + ";User ID=" +
                     Braced(server.Get("User ID"));
  if (!server.Get("Password").empty()) text += ";Password=" + Braced(server.Get("Password"));
  return text;
}

// Copies one SQLite database into another, page by page, under the
// destination's write lock (readers of it see a commit).
void CopySQLite(const std::string& from, const std::string& to) {
  sqlite3* source = nullptr;
  sqlite3* target = nullptr;
  int rc = sqlite3_open_v2(from.c_str(), &source, SQLITE_OPEN_READONLY, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_open_v2(to.c_str(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(target, 10000);
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    if (backup == nullptr) {
      rc = sqlite3_errcode(target);
    } else {
      rc = sqlite3_backup_step(backup, -1);
      int finished = sqlite3_backup_finish(backup);
      if (rc == SQLITE_DONE) rc = finished;
    }
  }
  std::string message = target != nullptr ? sqlite3_errmsg(target) : "cannot open";
  sqlite3_close(source);
  sqlite3_close(target);
  if (rc != SQLITE_OK) throw std::runtime_error("copying " + from + " to " + to + ": " + message);
}

}  // namespace

TempDir::TempDir() {
  path_ = std::filesystem::temp_directory_path() / ("lxm_test_" + UniqueSuffix());
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool OnPostgres() {
  static const bool on = [] {
    const char* backend = std::getenv("LXM_TEST_BACKEND");
    return backend != nullptr && std::string(backend) == "postgres";
  }();
  return on;
}

std::unique_ptr<NativeConnection> OpenOutsidePool(const std::string& connect_string, int busy_timeout_ms) {
  ConnectString parsed = ParseConnectString(connect_string);
  if (parsed.backend == Backend::kPostgreSQL) return PostgresConnection::Open(parsed, busy_timeout_ms);
  return SQLiteConnection::Open(parsed.data_source(), false, busy_timeout_ms);
}

std::string ClientCommand(const std::string& connect_string, const std::string& script) {
  ConnectString parsed = ParseConnectString(connect_string);
  if (parsed.backend == Backend::kSQLite) {
    return "sqlite3 -bail " + ShellQuoted(parsed.data_source()) + " " + ShellQuoted(script);
  }
  return "psql -X -q -v ON_ERROR_STOP=1 -h " + ShellQuoted(parsed.Get("Host")) + " -p " +
         ShellQuoted(parsed.Get("Port")) + " -U " + ShellQuoted(parsed.Get("User ID")) + " -d " +
         ShellQuoted(parsed.Get("Database")) + " -c " + ShellQuoted(script);
}

ScratchAccount::ScratchAccount(Runtime& runtime, const AccountSetupOptions& options) {
  if (!OnPostgres()) {
    path_ = (dir_.path() / "account.db").string();
    connect_string_ = CreateAccountDatabase(runtime, path_, options);
    return;
  }
  // The name is ours, never a caller's: it can stand in the statement.
  database_ = "lxm_t_" + UniqueSuffix();
  OpenServer()->ExecuteScript("CREATE DATABASE " + database_);
  connect_string_ = ConnectStringOf(database_);
  CreatePostgresAccount(runtime, connect_string_, options);
}

ScratchAccount::~ScratchAccount() {
  if (database_.empty()) return;
  try {
    std::unique_ptr<PostgresConnection> server = OpenServer();
    server->ExecuteScript("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
    if (!copy_.empty()) server->ExecuteScript("DROP DATABASE IF EXISTS " + copy_);
  } catch (...) {
    // A database left behind goes with the throwaway cluster.
  }
}

void ScratchAccount::SaveCopy() {
  if (database_.empty()) {
    copy_ = (dir_.path() / "copy.db").string();
    std::filesystem::remove(copy_);
    CopySQLite(path_, copy_);
    return;
  }
  std::unique_ptr<PostgresConnection> server = OpenServer();
  if (!copy_.empty()) server->ExecuteScript("DROP DATABASE IF EXISTS " + copy_);
  copy_ = database_ + "_copy";
  // A template may have no other session.
  server->Execute("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = ?",
                  {Variant(database_)});
  server->ExecuteScript("CREATE DATABASE " + copy_ + " TEMPLATE " + database_);
}

void ScratchAccount::RestoreCopy() {
  if (copy_.empty()) throw std::logic_error("RestoreCopy before SaveCopy");
  if (database_.empty()) {
    CopySQLite(copy_, path_);
    return;
  }
  std::unique_ptr<PostgresConnection> server = OpenServer();
  server->ExecuteScript("DROP DATABASE " + database_ + " WITH (FORCE)");
  server->ExecuteScript("CREATE DATABASE " + database_ + " TEMPLATE " + copy_);
}

std::vector<std::string> ScratchAccount::CliArgs() const {
  if (database_.empty()) return {"--db", path_};
  return {"--connect", connect_string_};
}

}  // namespace lxm::test

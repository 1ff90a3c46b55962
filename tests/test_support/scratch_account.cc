#include "test_support/scratch_account.h"

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

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
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
    OpenServer()->ExecuteScript("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
  } catch (...) {
    // A database left behind goes with the throwaway cluster.
  }
}

std::vector<std::string> ScratchAccount::CliArgs() const {
  if (database_.empty()) return {"--db", path_};
  return {"--connect", connect_string_};
}

}  // namespace lxm::test

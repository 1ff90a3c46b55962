// An account database for one test, on the backend the run chose:
// LXM_TEST_BACKEND=postgres puts every account in a fresh database of the
// PostgreSQL server that LXM_TEST_PG names (scripts/run_tests.sh starts one);
// otherwise each is an SQLite file in a temporary folder.
#ifndef LXM_TESTS_TEST_SUPPORT_SCRATCH_ACCOUNT_H_
#define LXM_TESTS_TEST_SUPPORT_SCRATCH_ACCOUNT_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/native_connection.h"
#include "platform/runtime.h"
#include "tree/account_setup.h"

namespace lxm::test {

// A temporary folder removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// True when this run's accounts live on PostgreSQL.
bool OnPostgres();

// Tests of one engine's own machinery (a file's log, the sqlite3 shell) call
// this first: `GTEST_SKIP_IF_ONLY_SQLITE();`.
#define GTEST_SKIP_IF_ONLY_SQLITE() \
  if (::lxm::test::OnPostgres()) GTEST_SKIP() << "SQLite's own behaviour"

// A handle of its own on a database, outside every pool: another program
// working on the same database.
std::unique_ptr<NativeConnection> OpenOutsidePool(const std::string& connect_string, int busy_timeout_ms);

// `text` as one word of a shell command line, in single quotes.
std::string ShellQuoted(const std::string& text);

// The shell command that runs `script` on a database with the engine's own
// client (sqlite3 or psql), stopping at the first error.
std::string ClientCommand(const std::string& connect_string, const std::string& script);

class ScratchAccount {
 public:
  // Creates the account with the schema and `options`' content. On
  // PostgreSQL that is a new database, dropped again with the object.
  explicit ScratchAccount(Runtime& runtime, const AccountSetupOptions& options = {});
  ~ScratchAccount();
  ScratchAccount(const ScratchAccount&) = delete;
  ScratchAccount& operator=(const ScratchAccount&) = delete;

  const std::string& connect_string() const { return connect_string_; }
  // The SQLite file; empty on PostgreSQL.
  const std::string& path() const { return path_; }
  std::string Dsn(int32_t user_id, const std::string& language = "chs") const {
    return DescriptorFor(connect_string_, user_id, language);
  }
  // The command-line options that name it: --db PATH or --connect TEXT.
  std::vector<std::string> CliArgs() const;
  // The name errors give it: the file, or the PostgreSQL database.
  const std::string& name() const { return database_.empty() ? path_ : database_; }

  // Keeps a copy of the whole content (stamps and counters included), which
  // RestoreCopy puts back as it was. On SQLite other handles may stay open
  // and see the change as any commit; on PostgreSQL every open handle on the
  // account is cut off, so drop the runtime's pool first.
  void SaveCopy();
  void RestoreCopy();

 private:
  TempDir dir_;
  std::string path_;
  std::string database_;  // on PostgreSQL
  std::string copy_;      // SaveCopy's file or database
  std::string connect_string_;
};

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_SCRATCH_ACCOUNT_H_

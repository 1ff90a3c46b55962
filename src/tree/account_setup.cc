#include "tree/account_setup.h"

#include <sys/statvfs.h>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <set>

#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "platform/db/sqlite_connection.h"
#include "tree/demo_data.h"
#include "tree/schema.h"

namespace lxm {

namespace {

ComError SetupError(const std::string& description) {
  return ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource), description);
}

void RemoveDatabaseFiles(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(path + suffix, ec);
}

// Takes the database at `path` for this process alone, until the returned
// handle closes: no connection of this or another process can read or write
// it meanwhile (one that tries waits within its busy timeout). Refuses when
// a connection has it open now: every open connection of a WAL database
// holds a shared lock that an exclusive one must wait for. Null when the
// file is no SQLite database, which nobody can have open as one.
std::unique_ptr<SQLiteConnection> HoldAlone(const std::string& path) {
  std::unique_ptr<SQLiteConnection> held;
  try {
    held = SQLiteConnection::Open(path, false, 0);
    // In this mode the locks taken stay until the handle closes.
    held->ExecuteScript("PRAGMA locking_mode=EXCLUSIVE");
    held->ExecuteScript("BEGIN EXCLUSIVE");
    held->Query("SELECT COUNT(*) FROM sqlite_master", {});
    held->ExecuteScript("COMMIT");
  } catch (const ComError& error) {
    // Only a lock refused says "in use"; a file that is no database is not.
    if (error.description().find("locked") == std::string::npos) return nullptr;
    throw SetupError("The database file '" + path +
                     "' is open in another process (a running server?); stop it before "
                     "replacing the database.");
  }
  return held;
}

// Gives the finished database its name. Unless replacing, never over a
// file that took the name since it was checked: that one is not ours.
void MoveIntoPlace(const std::string& building, const std::string& path, bool replace) {
  if (replace) return std::filesystem::rename(building, path);
  if (::renameat2(AT_FDCWD, building.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return;
  if (errno == EEXIST) throw SetupError("The database file '" + path + "' exists already.");
  if (errno != EINVAL && errno != ENOSYS) {
    throw SetupError("Cannot create '" + path + "': " + std::strerror(errno));
  }
  // A file system without RENAME_NOREPLACE.
  std::filesystem::rename(building, path);
}

}  // namespace

std::string CreateAccountDatabase(Runtime& runtime, const std::string& path,
                                  const AccountSetupOptions& options) {
  std::error_code ec;
  std::string connect_string = SQLiteConnectString(path);
  // The old database, held from the check until its content is replaced.
  std::unique_ptr<SQLiteConnection> old_database;
  bool replacing = false;
  if (std::filesystem::exists(path, ec)) {
    if (!options.replace) throw SetupError("The database file '" + path + "' exists already.");
    // This process's own idle handles must not count as another user.
    runtime.databases().Remove(connect_string);
    old_database = HoldAlone(path);
    replacing = true;
  }

  // Built beside the target under another name: a failed build leaves the
  // target as it was.
  std::string building = path + ".init-" + std::to_string(::getpid());
  RemoveDatabaseFiles(building);
  std::string building_connect_string = SQLiteConnectString(building);
  try {
    Database::Open(ParseConnectString(building_connect_string), /*create=*/true);
    RunInCallScope(runtime, true, [&] {
      GetObjectContext().SetAbort();
      Transaction& transaction = CallScope::Current()->TransactionFor(building_connect_string);
      schema::CreateSchema(transaction);
      if (options.demo) demo::LoadDemo(transaction);
      if (options.synthetic) LoadSynthetic(transaction, *options.synthetic);
      GetObjectContext().SetComplete();
    });
    // Closing the last handle folds the log into the file.
    runtime.databases().Remove(building_connect_string);
    for (const char* suffix : {"-wal", "-shm"}) {
      if (std::filesystem::exists(building + suffix, ec)) {
        throw SetupError("The new database '" + building + "' is still open.");
      }
    }
    if (old_database) {
      // Into the old file, under its lock: a connection that opened it
      // meanwhile sees the new database once the lock is gone, never a
      // file that has left its name.
      old_database->CopyFrom(building);
      old_database.reset();  // folds the copy into the file
      RemoveDatabaseFiles(building);
    } else {
      // No old database, or one that is no SQLite database.
      for (const char* suffix : {"-wal", "-shm", "-journal"}) std::filesystem::remove(path + suffix, ec);
      MoveIntoPlace(building, path, replacing);
    }
  } catch (...) {
    old_database.reset();
    runtime.databases().Remove(building_connect_string);
    RemoveDatabaseFiles(building);
    throw;
  }
  runtime.databases().Remove(connect_string);
  return connect_string;
}

void CheckAccountDatabase(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw SetupError("The database file '" + path + "' does not exist.");
  }
  std::unique_ptr<SQLiteConnection> connection;
  std::set<std::string> tables;
  int32_t version = 0;
  // Reads only: a file that is not an account database stays untouched.
  auto refuse = [&path](const ComError& error) {
    // An SQLite database that cannot be opened or read here is one that
    // cannot be written (a read-only file, or a WAL database in a folder
    // that is read-only).
    std::ifstream in(path, std::ios::binary);
    char magic[16] = {};
    in.read(magic, sizeof magic);
    if (std::string_view(magic, sizeof magic) == std::string_view("SQLite format 3\0", 16)) {
      struct statvfs disk {};
      std::string folder = std::filesystem::absolute(path).parent_path().string();
      if (::statvfs(folder.c_str(), &disk) == 0 && disk.f_bavail == 0) {
        return SetupError("The disk holding '" + path + "' is full: opening the database needs room beside it "
                          "for its -wal and -shm files (" + error.description() + ").");
      }
      return SetupError("The database '" + path + "' cannot be written: " + error.description());
    }
    return SetupError("'" + path + "' is not an account database: " + error.description());
  };
  try {
    connection = SQLiteConnection::Open(path, false, 1000);
    if (connection->read_only()) throw DatabaseError("SQLite", "the file is read-only");
    Recordset names = connection->Query("SELECT name FROM sqlite_master WHERE type = 'table'", {});
    for (; !names.Eof(); names.MoveNext()) tables.insert(ToLowerAscii(names.Value(size_t{0}).AsString()));
    Recordset user_version = connection->Query("PRAGMA user_version", {});
    version = user_version.Value(size_t{0}).AsLong();
  } catch (const ComError& error) {
    throw refuse(error);
  }
  for (const std::string& table : schema::TableNames(Backend::kSQLite)) {
    if (tables.count(ToLowerAscii(table)) == 0) {
      throw SetupError("'" + path + "' is not an account database: it has no table " + table +
                       " (create one with `lxmdataflow init`).");
    }
  }
  if (version != schema::kSchemaVersion) {
    throw SetupError("The account database '" + path + "' has schema version " +
                     std::to_string(version) + "; this build serves version " +
                     std::to_string(schema::kSchemaVersion) + ".");
  }
  try {
    connection->Begin(true);
    connection->Rollback();
  } catch (const ComError& error) {
    throw SetupError("The account database '" + path + "' cannot be written: " + error.description());
  } catch (const WriteLockBusy&) {
    // Locked by a writer elsewhere: writable, merely busy.
  }
}

std::string MakeDescriptor(const std::string& path, int32_t user_id, const std::string& language) {
  return DescriptorFor(SQLiteConnectString(path), user_id, language);
}

std::string DescriptorFor(const std::string& connect_string, int32_t user_id,
                          const std::string& language) {
  return "ConnectString={" + connect_string + "};UserID=" + std::to_string(user_id) +
         ";LANGUAGE=" + language;
}

}  // namespace lxm

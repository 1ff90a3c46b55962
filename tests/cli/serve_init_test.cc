// `serve` and `init` as a user runs them: start-up checks, and databases that
// cannot be lost or spoiled under a running server.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <csignal>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/db/sqlite_connection.h"
#include "server/http_client.h"
#include "test_support/account_fixture.h"
#include "test_support/cli_process.h"
#include "test_support/fake_subsystem_server.h"
#include "test_support/throwaway_certificate.h"
#include "tree/account_setup.h"

namespace lxm {
namespace {

namespace fs = std::filesystem;
using test::CliResult;
using test::RunCli;

std::string MakeAccount(const fs::path& path) {
  Runtime runtime;
  AccountSetupOptions options;
  options.demo = true;
  CreateAccountDatabase(runtime, path.string(), options);
  return path.string();
}

bool CanListenOn(int port) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool bound = ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
               ::listen(listener, 1) == 0;
  ::close(listener);
  return bound;
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int64_t Count(const std::string& path, const std::string& sql) {
  auto connection = SQLiteConnection::Open(path, false, 1000);
  return connection->Query(sql, {}).Value(size_t{0}).AsLong();
}

TEST(ServeCommandTest, SizeAndLimitFlagsRefuseNegativeOrAbsurdValues) {
  test::TempDir dir;
  std::string db = MakeAccount(dir.path() / "a.db");
  const std::vector<std::vector<std::string>> bad = {
      {"--max-body", "-1"},           {"--max-body", "0"},
      {"--max-body", "99999999999999"}, {"--cache-mb", "-5"},
      {"--cache-mb", "100000000"},    {"--max-connections", "0"},
      {"--request-timeout", "-3"},    {"--lock-wait", "-1"},
      {"--lock-waiters", "0"},        {"--io-threads", "1000"},
      {"--wal-bound-mb", "0"},        {"--wal-bound-wait-ms", "-1"},
  };
  for (const auto& flag : bad) {
    SCOPED_TRACE(flag[0] + " " + flag[1]);
    std::vector<std::string> args = {"serve", "--port", "0", "--db", db, flag[0], flag[1]};
    CliResult result = RunCli(args, 10);
    EXPECT_NE(result.exit_code, 0);
    EXPECT_NE(result.exit_code, -1) << "it started serving";
    EXPECT_NE(result.output.find(flag[0]), std::string::npos) << result.output;
  }
}

// An empty file, another program's SQLite database, an account database of
// another schema version and one that cannot be written are refused at
// start with the file named, and left exactly as they were.
TEST(ServeCommandTest, RefusesFilesThatAreNotWritableAccountDatabases) {
  test::TempDir dir;
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  const fs::path empty = dir.path() / "empty.db";
  std::ofstream(empty).close();
  const fs::path other = dir.path() / "other.db";
  SQLiteConnection::Open(other.string(), true, 1000)->ExecuteScript("CREATE TABLE notes (x TEXT)");
  const fs::path old_version = dir.path() / "old.db";
  MakeAccount(old_version);
  SQLiteConnection::Open(old_version.string(), false, 1000)->ExecuteScript("PRAGMA user_version = 0");
  const fs::path read_only = dir.path() / "read_only.db";
  MakeAccount(read_only);
  fs::permissions(read_only, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  // Root writes whatever the mode says: run as nobody then.
  std::vector<std::string> as_reader;
  if (::geteuid() == 0) as_reader = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};

  struct Case {
    fs::path file;
    std::vector<std::string> prefix;
    const char* says;
  };
  const Case cases[] = {
      {empty, {}, "not an account database"},
      {other, {}, "not an account database"},
      {old_version, {}, "schema version 0"},
      {read_only, as_reader, "cannot be written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.string());
    std::string before = FileText(c.file);
    CliResult result = RunCli({"serve", "--port", "0", "--db", c.file.string()}, 10, c.prefix);
    EXPECT_NE(result.exit_code, 0);
    EXPECT_NE(result.exit_code, -1) << "it started serving";
    EXPECT_NE(result.output.find(c.file.string()), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
    EXPECT_EQ(FileText(c.file), before);
    EXPECT_FALSE(fs::exists(c.file.string() + "-wal"));
  }
}

// An address other machines reach is served only with a token or on
// purpose; a token file others can read is served with a warning.
TEST(ServeCommandTest, AnAddressOthersReachNeedsATokenOrSayingSo) {
  test::TempDir dir;
  std::string db = MakeAccount(dir.path() / "a.db");
  CliResult refused = RunCli({"serve", "--port", "0", "--db", db, "--bind", "0.0.0.0"}, 10);
  EXPECT_NE(refused.exit_code, 0);
  EXPECT_NE(refused.exit_code, -1) << "it started serving";
  EXPECT_NE(refused.output.find("--allow-anonymous"), std::string::npos) << refused.output;

  test::ServeProcess on_purpose({"--db", db, "--bind", "0.0.0.0", "--allow-anonymous"});
  EXPECT_FALSE(on_purpose.url().empty()) << on_purpose.output();
  EXPECT_EQ(on_purpose.output().find("warning"), std::string::npos) << on_purpose.output();
  on_purpose.Stop();

  const fs::path token = dir.path() / "token.txt";
  std::ofstream(token) << "a-token-of-some-length\n";
  fs::permissions(token, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  test::ServeProcess shared_token({"--db", db, "--bind", "0.0.0.0", "--token", token.string()});
  EXPECT_FALSE(shared_token.url().empty()) << shared_token.output();
  EXPECT_NE(shared_token.output().find("token file " + token.string() + " is readable by other users"),
            std::string::npos)
      << shared_token.output();
}

// HTTPS: the printed address says so, `call --server https://` trusts the
// certificate it is given (--ca) and no other, plain HTTP gets nothing, and
// SIGHUP puts a renewed certificate in use without a restart.
TEST(ServeCommandTest, ServesHttpsAndTakesARenewedCertificateOnSighup) {
  test::TempDir dir;
  std::string db = MakeAccount(dir.path() / "a.db");
  test::ThrowawayCertificate certificate;
  CliResult half = RunCli({"serve", "--port", "0", "--db", db, "--tls-cert", certificate.certificate_file()}, 10);
  EXPECT_NE(half.exit_code, 0);
  EXPECT_NE(half.output.find("both --tls-cert and --tls-key"), std::string::npos) << half.output;

  test::ServeProcess server(
      {"--db", db, "--tls-cert", certificate.certificate_file(), "--tls-key", certificate.key_file()});
  ASSERT_EQ(server.url().rfind("https://127.0.0.1:", 0), 0u) << server.output();
  auto call = [&](const std::string& ca) {
    std::vector<std::string> args = {"call", "--server", server.url(), "--db", db, "--user", "0"};
    if (!ca.empty()) args.insert(args.end(), {"--ca", ca});
    args.insert(args.end(), {"LXMDataFlow.clsDataInfo", "GetTemplateVer"});
    return RunCli(args, 20);
  };
  CliResult trusted = call(certificate.certificate_file());
  EXPECT_EQ(trusted.exit_code, 0) << trusted.output;
  CliResult untrusted = call("");
  EXPECT_NE(untrusted.exit_code, 0);
  EXPECT_NE(untrusted.output.find("certificate verify failed"), std::string::npos) << untrusted.output;
  EXPECT_THROW(server::HttpGet("http://127.0.0.1:" + std::to_string(server.port()), "/health"), std::runtime_error);

  const fs::path old_certificate = dir.path() / "old.pem";
  fs::copy_file(certificate.certificate_file(), old_certificate);
  certificate.Renew();
  EXPECT_EQ(call(old_certificate.string()).exit_code, 0) << "renewed before the signal";
  server.Signal(SIGHUP);
  bool renewed = false;
  for (int i = 0; i < 50 && !renewed; ++i) {
    renewed = call(certificate.certificate_file()).exit_code == 0;
    if (!renewed) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(renewed);
  EXPECT_NE(call(old_certificate.string()).exit_code, 0);

  // A broken renewal keeps the certificate in use.
  std::ofstream(certificate.key_file()) << "not a key\n";
  server.Signal(SIGHUP);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(call(certificate.certificate_file()).exit_code, 0);
  server.Stop();
  EXPECT_NE(server.output().find("read again"), std::string::npos) << server.output();
  EXPECT_NE(server.output().find("not renewed, the one in use stays"), std::string::npos) << server.output();
}

// The served file deleted: writes are refused naming it (not acknowledged
// and lost), the server says so once in its log, and an account database
// put in its place is served; a file that is none is not.
TEST(ServeCommandTest, ADeletedOrReplacedDatabaseFileIsNotWrittenAndOnlyAnAccountTakesItsPlace) {
  test::TempDir dir;
  std::string db = MakeAccount(dir.path() / "a.db");
  std::string spare = MakeAccount(dir.path() / "b.db");
  test::ServeProcess server({"--db", db});
  ASSERT_FALSE(server.url().empty()) << server.output();
  auto set = [&](const std::string& value) {
    return RunCli({"call", "--server", server.url(), "--db", db, "--user", "7", "LXMDataFlow.DatasUpdate",
                   "SetProfileValue", "Layout", value},
                  20);
  };
  ASSERT_EQ(set("1").exit_code, 0);
  fs::remove(db);
  fs::remove(db + "-wal");
  fs::remove(db + "-shm");
  CliResult lost = set("2");
  EXPECT_NE(lost.exit_code, 0);
  EXPECT_NE(lost.output.find(db + " was deleted or replaced"), std::string::npos) << lost.output;

  std::ofstream(db) << "not a database";
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the server's own look
  EXPECT_NE(set("3").exit_code, 0);
  fs::remove(db);
  fs::copy_file(spare, db);
  CliResult taken = set("4");
  EXPECT_EQ(taken.exit_code, 0) << taken.output;
  server.Stop();
  const std::string& log = server.output();
  size_t said = log.find("was deleted while it was served");
  EXPECT_NE(said, std::string::npos) << log;
  EXPECT_EQ(log.find("was deleted while it was served", said + 1), std::string::npos) << log;
  EXPECT_NE(log.find(db + " is served again"), std::string::npos) << log;
}

// The configuration file's settings reach the server (databases, limits,
// the registry, served files, allowed commands), a flag on the command line
// wins over the file, and a bad file stops the start with its fault named.
TEST(ServeCommandTest, ConfigFileSettingsServeAndFlagsWin) {
  test::TempDir dir;
  MakeAccount(dir.path() / "a.db");
  fs::create_directories(dir.path() / "served");
  std::ofstream(dir.path() / "served" / "logo.bmp") << "BM";
  std::ofstream(dir.path() / "outside.bmp") << "BM";
  std::ofstream(dir.path() / "registry.json")
      << R"({"HKEY_CLASSES_ROOT\\Acme.Thing\\Clsid": {"": "{1}"},
             "HKEY_CLASSES_ROOT\\CLSID\\{1}\\InprocServer32": {"": "/opt/acme/thing.so"}})";
  // A subsystem whose refresh component another program serves.
  test::FakeSubsystemServer subsystem([](const std::string&, const std::string&) -> test::FakeSubsystemServer::Reply {
    return {200, R"({"result": [{"FFuncName": "remote one"}, {"FFuncName": "remote two"}]})"};
  });
  SQLiteConnection::Open((dir.path() / "a.db").string(), false, 1000)
      ->Execute("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName, FClassName, FRefresh) "
                "VALUES (9901, 1, 'remote', 'Acme.SubsysRefresh', 1)",
                {});
  // A started program that stays behind and lists what it was handed.
  const fs::path probe = dir.path() / "probe.sh";
  const fs::path listing = dir.path() / "descriptors.txt";
  std::ofstream(probe) << "#!/bin/sh\n/bin/sleep 5 &\nls -l /proc/$$/fd > " << listing.string() << "\n";
  ::chmod(probe.c_str(), 0755);
  const fs::path config = dir.path() / "serve.toml";
  std::ofstream(config) << "db = [\"a.db\"]\nworkers = 3\nmax_connections = 77\nenable_exec = true\n"
                           "registry = \"registry.json\"\n"
                           "[installation]\nfile_roots = [\"served\"]\n"
                           "[[commands.allowed]]\nprogram = \"/bin/true\"\narguments = \"\"\n"
                           "[[commands.allowed]]\nprogram = \""
                        << probe.string()
                        << "\"\narguments = \"\"\n"
                           "[[refresh_callout]]\nprog_id = \"Acme.SubsysRefresh\"\nurl = \""
                        << subsystem.Url("/refresh") << "\"\n";
  {
    test::ServeProcess server({"--config", config.string(), "--workers", "5"});
    ASSERT_FALSE(server.url().empty()) << server.output();
    auto call = [&](const std::string& method, const std::string& args) {
      return server::HttpPost(server.url(), "/rpc/" + method, R"({"args":)" + args + "}");
    };
    server::HttpReply path = call("LXMDataFlow.DatasUpdate/GetActiveXFilePath", R"(["acme.thing"])");
    EXPECT_EQ(path.body, R"({"result":"/opt/acme/thing.so"})");
    const std::string served = (dir.path() / "served" / "logo.bmp").string();
    EXPECT_EQ(call("LXMDataFlow.DatasInfo/FileExists", "[\"" + served + "\"]").body, R"({"result":true})");
    const std::string outside = (dir.path() / "outside.bmp").string();
    EXPECT_EQ(call("LXMDataFlow.DatasInfo/FileExists", "[\"" + outside + "\"]").body, R"({"result":false})");
    EXPECT_EQ(call("LXMDataFlow.DatasUpdate/ExecCmd", R"(["/bin/true"])").status, 200);
    EXPECT_EQ(call("LXMDataFlow.DatasUpdate/ExecCmd", R"(["/bin/false"])").status, 500);
    // Neither the port, nor the caller's connection, nor the database.
    EXPECT_EQ(call("LXMDataFlow.DatasUpdate/ExecCmd", "[\"" + probe.string() + "\"]").status, 200);
    const std::string descriptors = FileText(listing);
    EXPECT_NE(descriptors.find("/dev/null"), std::string::npos) << descriptors;
    EXPECT_EQ(descriptors.find("socket:"), std::string::npos) << descriptors;
    EXPECT_EQ(descriptors.find("a.db"), std::string::npos) << descriptors;
    const int port = server.port();
    std::string dsn = "\"ConnectString={Provider=SQLite;Data Source=" + (dir.path() / "a.db").string() +
                      "};UserID=16394;LANGUAGE=en\"";
    EXPECT_EQ(call("LXMDataFlow.DatasUpdate/RefreshActivFunc", "[" + dsn + "]").body, "{}");
    EXPECT_EQ(Count((dir.path() / "a.db").string(),
                    "SELECT COUNT(*) FROM t_DataFlowSubFunc WHERE FSubSysID = 9901 AND FFuncName LIKE 'remote %'"),
              2);
    EXPECT_EQ(server.Stop(), 0);
    // The program left behind holds nothing of the server: the next one can
    // listen on the port.
    EXPECT_TRUE(CanListenOn(port)) << "a program the server started still holds port " << port;
    EXPECT_NE(server.output().find("(5 workers, 77 connections at most, ExecCmd and RegMiddle enabled"),
              std::string::npos)
        << server.output();
    EXPECT_NE(server.output().find("database " + (dir.path() / "a.db").string()), std::string::npos);
  }

  // A bad file stops the start, and so does a registry that is missing or
  // not a registry, each named.
  const fs::path bad = dir.path() / "bad.toml";
  std::ofstream(bad) << "db = [\"a.db\"]\n[installation]\nroot = \"/opt\"\nrooot = \"/opt\"\n";
  std::ofstream(dir.path() / "broken.json") << R"({"HKEY_CLASSES_ROOT\\X": 5})";
  const fs::path missing_registry = dir.path() / "missing.toml";
  std::ofstream(missing_registry) << "db = [\"a.db\"]\nregistry = \"nowhere.json\"\n";
  const fs::path broken_registry = dir.path() / "broken.toml";
  std::ofstream(broken_registry) << "db = [\"a.db\"]\nregistry = \"broken.json\"\n";
  const std::vector<std::pair<fs::path, std::string>> refusals = {
      {bad, bad.string() + ":4: key \"installation.rooot\" is not known"},
      {missing_registry, (dir.path() / "nowhere.json").string()},
      {broken_registry, (dir.path() / "broken.json").string()},
  };
  for (const auto& [file, says] : refusals) {
    CliResult refused = RunCli({"serve", "--port", "0", "--config", file.string()}, 10);
    EXPECT_NE(refused.exit_code, 0);
    EXPECT_NE(refused.exit_code, -1) << "it started serving";
    EXPECT_NE(refused.output.find(says), std::string::npos) << refused.output;
  }
}

// While a server has the database open, `init --replace` refuses and the
// server's acknowledged writes stay in the one file it serves; once the
// server stops, the database is replaced.
TEST(InitCommandTest, ReplaceRefusesWhileAServerHasTheDatabaseOpen) {
  test::TempDir dir;
  std::string db = MakeAccount(dir.path() / "live.db");
  const std::string count_sql =
      "SELECT COUNT(*) FROM t_UserDataFlowProfile WHERE FName = 'kept' AND FValue = 'yes'";
  {
    test::ServeProcess server({"--db", db});
    ASSERT_FALSE(server.url().empty()) << server.output();
    std::string write = R"({"args":[)" + std::string("\"") + "ConnectString={Provider=SQLite;Data Source=" + db +
                        R"(};UserID=16394;LANGUAGE=en","kept","yes"]})";
    ASSERT_EQ(server::HttpPost(server.url(), "/rpc/LXMDataFlow.DatasUpdate/SetProfileValue", write).status,
              200);

    CliResult replace = RunCli({"init", "--db", db, "--replace"}, 20);
    EXPECT_NE(replace.exit_code, 0);
    EXPECT_NE(replace.output.find("open in another process"), std::string::npos) << replace.output;
    EXPECT_EQ(server::HttpGet(server.url(), "/health").status, 200);
    EXPECT_EQ(server.Stop(), 0);
  }
  EXPECT_EQ(Count(db, count_sql), 1);

  CliResult replace = RunCli({"init", "--db", db, "--replace"}, 20);
  EXPECT_EQ(replace.exit_code, 0) << replace.output;
  EXPECT_EQ(Count(db, count_sql), 0);
}

// From the check that nobody has the database open until the new content is
// in, the old database is this process's alone: a writer that opens it
// meanwhile (a server starting, say) is refused until then, and afterwards
// writes into the new database; nothing it wrote is lost with a file that
// has left its name.
TEST(InitCommandTest, ReplaceHoldsTheOldDatabaseUntilTheNewOneIsIn) {
  test::TempDir dir;
  const fs::path db = dir.path() / "live.db";
  MakeAccount(db);
  const std::string top_classes = "SELECT COUNT(*) FROM t_DataFlowTopClass";
  const int64_t demo_top_classes = Count(db.string(), top_classes);

  std::atomic<bool> done = false;
  std::string failure;
  std::thread replacing([&] {
    Runtime runtime;
    AccountSetupOptions options;
    options.replace = true;
    options.synthetic = ParseSyntheticShape("3,5,10,20");
    try {
      CreateAccountDatabase(runtime, db.string(), options);
    } catch (const ComError& error) {
      failure = error.description();
    }
    done = true;
  });
  // The new database is built beside the old one once the check is behind.
  auto building = [&dir] {
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.path().filename().string().rfind("live.db.init-", 0) == 0) return true;
    }
    return false;
  };
  while (!done && !building()) std::this_thread::yield();

  std::unique_ptr<SQLiteConnection> late;
  int attempts = 0;
  int written = 0;
  for (bool last = false; !last; ++attempts) {
    last = done;  // one more try once the replacement is over
    try {
      if (!late) late = SQLiteConnection::Open(db.string(), false, 0);
      late->Begin(true);
      late->Execute("INSERT INTO t_UserDataFlowProfile (FUserID, FName, FValue) VALUES (1, ?, 'x')",
                    {Variant("late-" + std::to_string(attempts))});
      late->Commit();
      ++written;
    } catch (const WriteLockBusy&) {
    } catch (const ComError& error) {
      EXPECT_NE(error.description().find("locked"), std::string::npos) << error.description();
    }
  }
  replacing.join();

  ASSERT_EQ(failure, "");
  EXPECT_GT(written, 0);
  EXPECT_EQ(Count(db.string(), "SELECT COUNT(*) FROM t_UserDataFlowProfile WHERE FName LIKE 'late-%'"),
            written)
      << attempts << " attempts";
  // The writer's handle reads the new database.
  EXPECT_NE(Count(db.string(), top_classes), demo_top_classes);
  EXPECT_EQ(late->Query(top_classes, {}).Value(size_t{0}).AsLong(), Count(db.string(), top_classes));
}

// A failed build leaves neither the target nor a half-built file behind, so
// that the next `init` is not refused; a bad shape says which value is wrong.
TEST(InitCommandTest, AFailedInitLeavesNothingBehind) {
  test::TempDir dir;
  const fs::path db = dir.path() / "new.db";
  CliResult failed = RunCli({"init", "--db", db.string(), "--demo", "--synthetic", "1,1,1,1"}, 20);
  EXPECT_NE(failed.exit_code, 0);
  EXPECT_TRUE(fs::is_empty(dir.path())) << failed.output;

  CliResult bad_shape = RunCli({"init", "--db", db.string(), "--synthetic", "1,x,1,1"}, 20);
  EXPECT_NE(bad_shape.exit_code, 0);
  EXPECT_NE(bad_shape.output.find("'x'"), std::string::npos) << bad_shape.output;
  EXPECT_TRUE(fs::is_empty(dir.path()));

  CliResult created = RunCli({"init", "--db", db.string(), "--demo"}, 20);
  EXPECT_EQ(created.exit_code, 0) << created.output;
  EXPECT_GT(Count(db.string(), "SELECT COUNT(*) FROM t_DataFlowTopClass"), 0);

  // A failed replacement leaves the old database as it was.
  std::string before = FileText(db);
  failed = RunCli({"init", "--db", db.string(), "--replace", "--demo", "--synthetic", "1,1,1,1"}, 20);
  EXPECT_NE(failed.exit_code, 0);
  EXPECT_EQ(FileText(db), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace lxm

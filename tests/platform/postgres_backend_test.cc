// The PostgreSQL backend against a real server: what callers see must be
// what the SQLite backend gives them. Runs when LXM_TEST_PG holds the
// connect string of a scratch database (scripts/run_tests.sh starts one);
// skipped otherwise. Every test recreates the account in that database.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "info/datas_info.h"
#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "platform/db/database.h"
#include "platform/db/null_ordering.h"
#include "platform/db/postgres_connection.h"
#include "platform/db/redacted_connect_string.h"
#include "server/json_codec.h"
#include "test_support/account_fixture.h"
#include "test_support/cli_process.h"
#include "test_support/error_matchers.h"
#include "tree/cls_data_info.h"
#include "tree/postgres_account.h"

namespace lxm {
namespace {

constexpr int32_t kDatabaseErrorNumber = -2147217900;

class PostgresBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* connect = std::getenv("LXM_TEST_PG");
    if (connect == nullptr || *connect == '\0') GTEST_SKIP() << "LXM_TEST_PG names no PostgreSQL database";
    connect_string_ = connect;
    // CTest runs tests in parallel processes that share the one database:
    // each test holds it alone while it runs.
    session_lock_ = PostgresConnection::Open(ParseConnectString(connect_string_), 60000);
    session_lock_->Query("SELECT pg_advisory_lock(4242)", {});
    AccountSetupOptions options;
    options.replace = true;
    options.demo = demo_;
    CreatePostgresAccount(runtime_, connect_string_, options);
  }

  Database::Lease Handle() { return runtime_.databases().Get(connect_string_)->Acquire(); }

  std::string Dsn(const std::string& connect_string, int32_t user, const std::string& language) {
    return "ConnectString={" + connect_string + "};UserID=" + std::to_string(user) +
           ";LANGUAGE=" + language;
  }

  bool demo_ = false;
  std::string connect_string_;
  Runtime runtime_;
  std::unique_ptr<PostgresConnection> session_lock_;  // the lock goes with it
};

TEST(NumberPlaceholdersTest, NumbersOnlyPlaceholdersOutsideQuotesAndComments) {
  struct Case {
    std::string sql;
    std::string expected;
    int count;
  };
  const std::vector<Case> cases = {
      {"SELECT ? , ?", "SELECT $1 , $2", 2},
      {"SELECT '?', ? FROM t WHERE a = 'it''s ?'", "SELECT '?', $1 FROM t WHERE a = 'it''s ?'", 1},
      {"SELECT \"odd?name\" FROM t -- why?\nWHERE a=?", "SELECT \"odd?name\" FROM t -- why?\nWHERE a=$1", 1},
      {"SELECT 1", "SELECT 1", 0},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.sql);
    int count = -1;
    EXPECT_EQ(NumberPlaceholders(each.sql, &count), each.expected);
    EXPECT_EQ(count, each.count);
  }
}

TEST(NullOrderingTest, EveryOrderByItemNamesSQLitesPlaceForNulls) {
  const std::pair<std::string, std::string> cases[] = {
      {"SELECT a FROM t Order by FIndex,FTopClassID",
       "SELECT a FROM t Order by FIndex NULLS FIRST,FTopClassID NULLS FIRST"},
      {"SELECT a FROM t ORDER BY a DESC, abs(b) ASC LIMIT 3",
       "SELECT a FROM t ORDER BY a DESC NULLS LAST, abs(b) ASC NULLS FIRST LIMIT 3"},
      {"SELECT a FROM t ORDER BY a NULLS LAST, b", "SELECT a FROM t ORDER BY a NULLS LAST, b NULLS FIRST"},
      {"SELECT (SELECT x FROM u ORDER BY y DESC LIMIT 1) AS v FROM t ORDER BY (SELECT 1), \"odd name\"",
       "SELECT (SELECT x FROM u ORDER BY y DESC NULLS LAST LIMIT 1) AS v FROM t ORDER BY (SELECT 1) NULLS FIRST, "
       "\"odd name\" NULLS FIRST"},
      {"SELECT row_number() OVER (ORDER BY a) FROM t", "SELECT row_number() OVER (ORDER BY a NULLS FIRST) FROM t"},
      {"SELECT 'order by x' FROM t -- order by y\nWHERE a = ?", "SELECT 'order by x' FROM t -- order by y\nWHERE a = ?"},
      {"SELECT a FROM t ORDER BY 1\r\n", "SELECT a FROM t ORDER BY 1 NULLS FIRST\r\n"},
      {"SELECT FOrderBy FROM t", "SELECT FOrderBy FROM t"},
  };
  for (const auto& [sql, expected] : cases) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(WithNullsOrderedFirst(sql), expected);
  }
}

TEST_F(PostgresBackendTest, ValuesAndNamesComeBackAsTheSQLiteBackendGivesThem) {
  struct Case {
    std::string sql;
    Params params;
    std::string name;  // as the caller must see it
    FieldType type;
    Variant expected;
  };
  const std::vector<Case> cases = {
      {"SELECT ? AS lngCount", {Variant(42)}, "lngCount", FieldType::kInteger, Variant(42)},
      {"SELECT ? AS FRate", {Variant(2.5)}, "FRate", FieldType::kDouble, Variant(2.5)},
      {"SELECT ? AS strText", {Variant(std::string("Ab'c ? 汉字"))}, "strText", FieldType::kVarWChar,
       Variant(std::string("Ab'c ? 汉字"))},
      {"SELECT ? AS FBytes", {Variant(Bytes{0x00, 0xff, 0x10})}, "FBytes", FieldType::kVarBinary,
       Variant(Bytes{0x00, 0xff, 0x10})},
      {"SELECT ? AS FFlag", {Variant(true)}, "FFlag", FieldType::kInteger, Variant(1)},
      {"SELECT CAST(? AS CITEXT) AS FName", {Variant::Null()}, "FName", FieldType::kVarWChar,
       Variant::Null()},
      // Beyond 32 bits a Double, as SQLite's integers are.
      {"SELECT CAST(? AS BIGINT) * 4 AS FBig", {Variant(1 << 30)}, "FBig", FieldType::kInteger,
       Variant(4294967296.0)},
      {"SELECT SUM(CAST(? AS BIGINT)) AS FSum", {Variant(7)}, "FSum", FieldType::kInteger, Variant(7)},
      {"SELECT '?' || ? AS FJoined", {Variant(std::string("x"))}, "FJoined", FieldType::kVarWChar,
       Variant(std::string("?x"))},
      // Columns not named by the statement get the schema's spelling.
      {"SELECT * FROM t_DataFlowSchemaVersion", {}, "FVersion", FieldType::kInteger, Variant(1)},
  };
  Database::Lease handle = Handle();
  for (const Case& each : cases) {
    SCOPED_TRACE(each.sql);
    Recordset result = handle->Query(each.sql, each.params);
    ASSERT_EQ(result.Fields().size(), 1u);
    EXPECT_EQ(result.Fields()[0].name, each.name);
    EXPECT_EQ(result.Fields()[0].type, each.type);
    ASSERT_EQ(result.RecordCount(), 1);
    EXPECT_EQ(server::EncodeValue(result.Value(size_t{0})), server::EncodeValue(each.expected));
  }
}

TEST_F(PostgresBackendTest, TextEqualityIgnoresLetterCaseAsNocaseDoes) {
  Database::Lease handle = Handle();
  handle->Execute("INSERT INTO t_DataFlowProfile (FName, FValue) VALUES (?, ?)",
                  {Variant(std::string("SkinColour")), Variant(std::string("Blue"))});
  struct Case {
    std::string sql;
    std::string argument;
    int32_t rows;
  };
  const std::vector<Case> cases = {
      {"SELECT FValue FROM t_DataFlowProfile WHERE FName = ?", "skincolour", 1},
      {"SELECT FValue FROM t_DataFlowProfile WHERE FName IN (?, 'x')", "SKINCOLOUR", 1},
      {"SELECT FValue FROM t_DataFlowProfile WHERE FName LIKE ?", "skin%", 1},
      {"SELECT FValue FROM t_DataFlowProfile WHERE FName = ?", "SkinColour ", 0},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.sql + " with " + each.argument);
    EXPECT_EQ(handle->Query(each.sql, {Variant(each.argument)}).RecordCount(), each.rows);
  }
  // The key compares the same way: another spelling is the same name.
  std::optional<ComError> duplicate = test::ErrorOf([&] {
    handle->Execute("INSERT INTO t_DataFlowProfile (FName) VALUES (?)", {Variant(std::string("SKINCOLOUR"))});
  });
  ASSERT_TRUE(duplicate.has_value());
  EXPECT_EQ(duplicate->source(), "PostgreSQL");
  EXPECT_NE(duplicate->description().find("duplicate key"), std::string::npos) << duplicate->description();
}

TEST_F(PostgresBackendTest, StampsMoveOnEveryWriteOfTheirRowAndNeverRepeat) {
  Database::Lease handle = Handle();
  auto stamp = [&](const std::string& name) {
    Recordset row = handle->Query("SELECT FTimeStamp FROM t_DataFlowTimeStamp WHERE FName = ?",
                                  {Variant(name)});
    EXPECT_EQ(row.Fields()[0].type, FieldType::kBinary);
    EXPECT_EQ(row.RecordCount(), 1);
    return row.Value(size_t{0}).AsBytes();
  };
  std::vector<Bytes> seen;
  // Each step writes and names the row whose stamp must move past all before.
  const std::vector<std::pair<std::string, std::string>> steps = {
      {"INSERT INTO t_DataFlowTimeStamp (FName) VALUES (?)", "Template"},
      {"INSERT INTO t_DataFlowTimeStamp (FName) VALUES (?)", "User16394"},
      {"UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName = ?", "Template"},
      {"UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName = ?", "template"},
      {"UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName = ?", "User16394"},
      {"DELETE FROM t_DataFlowTimeStamp WHERE FName = ?", "Template"},
      {"INSERT INTO t_DataFlowTimeStamp (FName) VALUES (?)", "Template"},
  };
  for (const auto& [sql, name] : steps) {
    SCOPED_TRACE(sql + " " + name);
    handle->Execute(sql, {Variant(name)});
    if (sql.rfind("DELETE", 0) == 0) continue;
    Bytes now = stamp(name);
    ASSERT_EQ(now.size(), 8u);
    // Big-endian: byte order is number order.
    for (const Bytes& before : seen) EXPECT_LT(before, now);
    seen.push_back(now);
  }
  // A rolled-back stamp is not handed out again.
  handle->Begin(true);
  handle->Execute("UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName = ?", {Variant(std::string("Template"))});
  Bytes rolled_back = stamp("Template");
  handle->Rollback();
  EXPECT_EQ(stamp("Template"), seen.back());
  handle->Execute("UPDATE t_DataFlowTimeStamp SET FName = FName WHERE FName = ?", {Variant(std::string("Template"))});
  EXPECT_LT(rolled_back, stamp("Template"));
}

// Every call reads its stamps: past a hundred users that must be an index
// probe, not a scan that folds the letters of every row.
TEST_F(PostgresBackendTest, StampLookupsProbeTheIndexOnceASiteHasAHundredUsers) {
  Database::Lease handle = Handle();
  for (int user = 0; user < 120; ++user) {
    handle->Execute("INSERT INTO t_DataFlowTimeStamp (FName) VALUES (?)",
                    {Variant("DataFlow" + std::to_string(user))});
  }
  handle->ExecuteScript("ANALYZE t_DataFlowTimeStamp");
  Recordset plan = handle->Query("EXPLAIN SELECT FTimeStamp FROM t_DataFlowTimeStamp WHERE FName = ?",
                                 {Variant(std::string("DataFlow77"))});
  ASSERT_FALSE(plan.Eof());
  EXPECT_NE(plan.Value(size_t{0}).AsString().find("Index Scan"), std::string::npos)
      << plan.Value(size_t{0}).AsString();
}

TEST_F(PostgresBackendTest, FailuresAreDatabaseErrorsOfPostgreSQLWithoutThePassword) {
  Database::Lease handle = Handle();
  struct Case {
    std::string what;
    std::function<void()> action;
    std::string in_description;
  };
  ConnectString unreachable = ParseConnectString(
      "Provider=PostgreSQL;Host=/nonexistent-folder;Port=1;Database=lxm;User ID=u;Password=Zq9SecretPw");
  const std::vector<Case> cases = {
      {"unknown table", [&] { handle->Query("SELECT FName FROM t_NoSuchTable", {}); }, "t_nosuchtable"},
      {"parameter count",
       [&] { handle->Query("SELECT FName FROM t_DataFlowProfile WHERE FName = ?", {}); },
       "expects 1 parameters; 0 were given"},
      {"unreachable server", [&] { PostgresConnection::Open(unreachable, 1000); }, "Cannot connect"},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.what);
    std::optional<ComError> error = test::ErrorOf(each.action);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), kDatabaseErrorNumber);
    EXPECT_EQ(error->source(), "PostgreSQL");
    EXPECT_NE(error->description().find(each.in_description), std::string::npos) << error->description();
    EXPECT_EQ(error->description().find("Zq9SecretPw"), std::string::npos);
  }
  std::string shown = RedactedConnectString(unreachable);
  EXPECT_EQ(shown.find("Zq9SecretPw"), std::string::npos);
  EXPECT_NE(shown.find("Password=***"), std::string::npos) << shown;
}

TEST_F(PostgresBackendTest, RollingBackToASavepointUndoesOnlyWhatFollowedIt) {
  Database::Lease handle = Handle();
  auto names = [&] {
    std::string all;
    Recordset rows = handle->Query("SELECT FName FROM t_DataFlowProfile ORDER BY FName", {});
    for (; !rows.Eof(); rows.MoveNext()) all += rows.Value(size_t{0}).AsString() + ";";
    return all;
  };
  const std::string insert = "INSERT INTO t_DataFlowProfile (FName) VALUES (?)";
  handle->Begin(true);
  handle->Execute(insert, {Variant(std::string("A"))});
  handle->Savepoint("sp_1");
  handle->Execute(insert, {Variant(std::string("B"))});
  // A failed statement spoils the transaction up to the savepoint only.
  EXPECT_EQ(test::ErrorNumberOf([&] { handle->Execute(insert, {Variant(std::string("a"))}); }),
            kDatabaseErrorNumber);
  handle->RollbackToSavepoint("sp_1");
  handle->ReleaseSavepoint("sp_1");
  handle->Execute(insert, {Variant(std::string("C"))});
  handle->Commit();
  EXPECT_EQ(names(), "A;C;");

  // A commit after a failure that nobody rolled back is refused, not
  // turned silently into a rollback.
  handle->Begin(true);
  handle->Execute(insert, {Variant(std::string("D"))});
  EXPECT_EQ(test::ErrorNumberOf([&] { handle->Execute(insert, {Variant(std::string("c"))}); }),
            kDatabaseErrorNumber);
  std::optional<ComError> refused = test::ErrorOf([&] { handle->Commit(); });
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->source(), "PostgreSQL");
  EXPECT_EQ(names(), "A;C;");
}

TEST_F(PostgresBackendTest, AWriterWaitsForTheOneBeforeItAtMostTheBusyTimeout) {
  ConnectString target = ParseConnectString(connect_string_);
  std::unique_ptr<PostgresConnection> first = PostgresConnection::Open(target, 200);
  std::unique_ptr<PostgresConnection> second = PostgresConnection::Open(target, 200);
  first->Begin(true);
  auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(second->Begin(true), WriteLockBusy);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  // Readers do not wait for writers, and the lock comes once the first ends.
  second->Begin(false);
  EXPECT_EQ(second->Query("SELECT COUNT(*) AS FCount FROM t_DataFlowProfile", {}).Value(size_t{0}), Variant(0));
  second->Rollback();
  first->Commit();
  second->Begin(true);
  second->Rollback();
}

TEST_F(PostgresBackendTest, FavouriteGroupsAreNumberedAsAutoincrementNumbersThem) {
  Database::Lease handle = Handle();
  const std::string add = "INSERT INTO t_NormalFuncGroup (FUserID, FFuncGroupName) VALUES (?, ?)";
  const std::string add_with_id =
      "INSERT INTO t_NormalFuncGroup (FFuncGroupID, FUserID, FFuncGroupName) VALUES (?, ?, ?)";
  auto last_id = [&] {
    return handle->Query("SELECT MAX(FFuncGroupID) AS FLast FROM t_NormalFuncGroup", {}).Value(size_t{0});
  };
  // Stored with their IDs, as the demo data and imports store them.
  handle->Execute(add_with_id, {Variant(1), Variant(7), Variant(std::string("given first"))});
  handle->Execute(add, {Variant(7), Variant(std::string("first"))});
  EXPECT_EQ(last_id(), Variant(2));
  handle->Execute(add_with_id, {Variant(40), Variant(7), Variant(std::string("given"))});
  handle->Execute(add, {Variant(7), Variant(std::string("after"))});
  EXPECT_EQ(last_id(), Variant(41));
  // A deleted greatest ID is not given again.
  handle->Execute("DELETE FROM t_NormalFuncGroup WHERE FFuncGroupID = ?", {Variant(41)});
  handle->Execute(add, {Variant(7), Variant(std::string("later"))});
  EXPECT_EQ(last_id(), Variant(42));
}

// Where two encoded values first differ, with some text around it; empty
// when they are equal.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  size_t from = at < 120 ? 0 : at - 120;
  return "SQLite: ..." + expected.substr(from, 240) + "\nPostgreSQL: ..." + actual.substr(from, 240);
}

class PostgresDemoTest : public PostgresBackendTest {
 protected:
  PostgresDemoTest() { demo_ = true; }
};

// The same demo account on both backends gives the same answers, field
// names, types and rows in order.
TEST_F(PostgresDemoTest, ReadMethodsGiveWhatSQLiteGives) {
  // The command-line tool makes the PostgreSQL account: it refuses to
  // overwrite one, replaces it when told, and never prints the password.
  test::CliResult refused = test::RunCli({"init", "--connect", connect_string_, "--demo"}, 60);
  EXPECT_NE(refused.exit_code, 0);
  EXPECT_NE(refused.output.find("holds an account already"), std::string::npos) << refused.output;
  test::CliResult made = test::RunCli({"init", "--connect", connect_string_, "--demo", "--replace"}, 60);
  ASSERT_EQ(made.exit_code, 0) << made.output;
  std::string password = ParseConnectString(connect_string_).Get("Password");
  for (const std::string& output : {refused.output, made.output}) {
    if (!password.empty()) {
      EXPECT_EQ(output.find(password), std::string::npos) << output;
    }
  }

  test::TempDir dir;
  std::string path = (dir.path() / "account.db").string();
  AccountSetupOptions options;
  options.demo = true;
  std::string sqlite = CreateAccountDatabase(runtime_, path, options);

  DatasInfo info(runtime_);
  clsDataInfo data(runtime_);
  using Read = std::function<Variant(const std::string& dsn)>;
  struct Case {
    std::string what;
    Read read;
  };
  const std::vector<Case> cases = {
      {"GetTopClass", [&](const std::string& dsn) { return Variant(info.GetTopClass(dsn)); }},
      {"GetTopClass_All", [&](const std::string& dsn) { return Variant(info.GetTopClass_All(dsn)); }},
      {"GetSubSystem", [&](const std::string& dsn) {
         int32_t id = 1;
         return Variant(info.GetSubSystem(dsn, id));
       }},
      {"GetSubFunc", [&](const std::string& dsn) {
         int32_t id = 0;
         return Variant(info.GetSubFunc(dsn, id));
       }},
      {"GetDetailFunc", [&](const std::string& dsn) {
         int32_t id = 0;
         return Variant(info.GetDetailFunc(dsn, id));
       }},
      {"GetDetailFuncInfo", [&](const std::string& dsn) {
         int32_t id = 10010101;
         return Variant(info.GetDetailFuncInfo(dsn, id));
       }},
      {"GetSubSystemHelp", [&](const std::string& dsn) { return Variant(info.GetSubSystemHelp(dsn, 10010101)); }},
      {"GetSubSysClass", [&](const std::string& dsn) {
         int32_t id = 10010101, type = 4;
         return Variant(info.GetSubSysClass(dsn, id, type));
       }},
      {"GetSubSysName", [&](const std::string& dsn) {
         int32_t id = 10010101;
         return Variant(info.GetSubSysName(dsn, id));
       }},
      {"IsHasChild", [&](const std::string& dsn) {
         int32_t base = 1000, id = 1;
         return Variant(info.IsHasChild(dsn, base, id));
       }},
      {"GetNextIndex", [&](const std::string& dsn) {
         int32_t type = 2, id = 1;
         return Variant(info.GetNextIndex(dsn, type, id));
       }},
      {"GetNextID", [&](const std::string& dsn) {
         int32_t type = 4, id = 0;
         return Variant(info.GetNextID(dsn, type, id));
       }},
      {"GetProfileValue", [&](const std::string& dsn) {
         std::shared_ptr<Dictionary> stamps;
         return Variant(info.GetProfileValue(dsn, "expandlevel", stamps));
       }},
      {"GetSubSystemInfo", [&](const std::string& dsn) {
         int32_t id = 1001;
         std::shared_ptr<Dictionary> row;
         info.GetSubSystemInfo(dsn, id, row);
         return Variant(row);
       }},
      {"GetNormalFuncGroup", [&](const std::string& dsn) { return Variant(info.GetNormalFuncGroup(dsn)); }},
      {"GetNormalFunc", [&](const std::string& dsn) { return Variant(info.GetNormalFunc(dsn, 1)); }},
      {"GetDetailNormalFunc", [&](const std::string& dsn) { return Variant(info.GetDetailNormalFunc(dsn, 1)); }},
      {"GetUserNormalLst", [&](const std::string& dsn) { return Variant(info.GetUserNormalLst(dsn)); }},
      {"GetHelpCodeInfo", [&](const std::string& dsn) {
         std::string code = "pzlr";
         return Variant(info.GetHelpCodeInfo(dsn, code));
       }},
      {"GetTemplateVer", [&](const std::string& dsn) { return Variant(data.GetTemplateVer(dsn)); }},
      {"GetTemplate", [&](const std::string& dsn) { return Variant(data.GetTemplate(dsn)); }},
      {"GetUserData", [&](const std::string& dsn) { return Variant(data.GetUserData(dsn)); }},
  };
  for (int32_t user : {0, 16394}) {
    for (const std::string language : {"chs", "en"}) {
      for (const Case& each : cases) {
        SCOPED_TRACE(each.what + " user " + std::to_string(user) + " " + language);
        std::string on_sqlite = server::EncodeValue(each.read(Dsn(sqlite, user, language)));
        std::string on_postgres = server::EncodeValue(each.read(Dsn(connect_string_, user, language)));
        EXPECT_EQ(FirstDifference(on_sqlite, on_postgres), "");
      }
    }
  }
}

}  // namespace
}  // namespace lxm

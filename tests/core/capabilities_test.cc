// The database product's capabilities: read once, shared by the process,
// and never one account's answers for another.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/cdatasource.h"
#include "platform/convert.h"
#include "tree/account_setup.h"
#include "test_support/account_fixture.h"
#include "test_support/faulty_connection.h"

namespace lxm {
namespace {

class CapabilitiesTest : public test::AccountTest {
 protected:
  // A data source for a descriptor naming the product as clients do.
  std::unique_ptr<CDataSource> SourceFor(const std::string& connect_string) {
    auto parse = std::make_shared<CParse>();
    parse->ParseString("ConnectString={" + connect_string + "};UserID=5;DBMS Name=" + BackendName() +
                       ";DBMS Version=3");
    auto source = std::make_unique<CDataSource>(runtime_);
    source->SetParseObject(parse);
    return source;
  }
};

TEST_F(CapabilitiesTest, ReadOncePerDatabaseAndSharedByTheProcess) {
  test::ScratchAccount other(runtime_);
  Exec("INSERT INTO t_SupportedProc (FProcName) VALUES ('p_Mine')");

  auto mine = SourceFor(connect_string_);
  EXPECT_TRUE(mine->DBMSName() == Variant(BackendName()));
  EXPECT_FALSE(mine->DBMSVersion().IsEmpty());
  EXPECT_TRUE(mine->LikeEscapeClause() == Variant(true));
  EXPECT_TRUE(mine->IEF().IsEmpty());  // not reported by this product
  EXPECT_FALSE(mine->IsOracle());
  EXPECT_TRUE(mine->ProcSupported("p_Mine"));
  EXPECT_FALSE(mine->ProcSupported("p_Other"));

  // Same product and version, another account: its own list.
  EXPECT_FALSE(SourceFor(other.connect_string())->ProcSupported("p_Mine"));

  // Kept for the process: a later change is not read again.
  Exec("INSERT INTO t_SupportedProc (FProcName) VALUES ('p_Later')");
  EXPECT_FALSE(SourceFor(connect_string_)->ProcSupported("p_Later"));

  // A database that cannot be read answers nothing, and is not remembered.
  std::string missing =
      test::OnPostgres()
          ? "Provider=PostgreSQL;Host=/nonexistent;Port=1;Database=missing;User ID=nobody"
          : "Provider=SQLite;Data Source=" + (dir_.path() / "missing.db").string();
  EXPECT_TRUE(SourceFor(missing)->DBMSName().IsEmpty());
  EXPECT_FALSE(SourceFor(missing)->ProcSupported("p_Mine"));
}

// The product's name and version come from the connection, as a driver's
// properties do: the loader asks the database for nothing but the list of
// procedures, so no failing statement takes the other answers with it.
TEST_F(CapabilitiesTest, TheVersionIsTheConnectionsAndCostsNoStatement) {
  test::FaultPlan plan;
  DatabaseSettings settings;
  settings.wrap_connection = plan.Wrapper();
  runtime_.databases().Configure(settings);
  runtime_.databases().Clear();
  plan.Arm({});
  Variant version = SourceFor(connect_string_)->DBMSVersion();
  plan.Disarm();
  std::string statements;
  for (const test::TracedStatement& statement : plan.trace()) {
    if (statement.text.find("t_SupportedProc") == std::string::npos && statement.text != "BEGIN") {
      statements += statement.text + "\n";
    }
  }
  EXPECT_EQ(statements, "");
  EXPECT_EQ(CStr(version),
            CStr(Query(test::OnPostgres() ? "SELECT current_setting('server_version')" : "SELECT sqlite_version()")
                     .Value(size_t{0})));
}

}  // namespace
}  // namespace lxm

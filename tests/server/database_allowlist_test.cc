#include "server/database_allowlist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/db/connect_string.h"
#include "test_support/account_fixture.h"

namespace lxm::server {
namespace {

TEST(DatabaseAllowlistTest, AcceptsSpellingsOfTheSameDatabaseOnly) {
  test::TempDir dir;
  std::filesystem::path file = dir.path() / "account.db";
  std::ofstream(file) << "";
  std::ofstream(dir.path() / "other.db") << "";
  std::filesystem::create_directory(dir.path() / "sub");
  std::filesystem::create_symlink(file, dir.path() / "link.db");
  const std::string path = file.string();
  const std::string folder = dir.path().string();

  DatabaseAllowlist allowlist;
  allowlist.Add(SQLiteConnectString(path));

  struct Case {
    std::string connect_string;
    bool allowed;
  };
  const Case cases[] = {
      {"Provider=SQLite;Data Source=" + path, true},
      {" Provider = SQLite ; Data Source = " + path + " ", true},
      {"provider=sqlite;DATA SOURCE=" + path, true},
      {"Data Source=" + path + ";Provider=SQLite", true},
      {"Provider=SQLite;Data Source={" + path + "}", true},
      {"Provider=SQLite;Data Source=" + folder + "/./account.db", true},
      {"Provider=SQLite;Data Source=" + folder + "/sub/../account.db", true},
      {"Provider=SQLite;Data Source=" + folder + "/link.db", true},
      {"Provider=SQLite;Data Source=" + folder + "/other.db", false},
      {"Provider=SQLite;Data Source=" + folder + "/missing.db", false},
      {"Provider=SQLite;Data Source=" + path + ";Mode=ro", false},
      {"Provider=PostgreSQL;Data Source=" + path, false},
      {"Provider=Oracle;Data Source=" + path, false},
      {"Provider=SQLite", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.connect_string);
    EXPECT_EQ(allowlist.Allows(c.connect_string), c.allowed);
  }
}

TEST(DatabaseAllowlistTest, AllowsEveryConfiguredDatabaseAndNothingWhenEmpty) {
  DatabaseAllowlist allowlist;
  EXPECT_FALSE(allowlist.Allows("Provider=SQLite;Data Source=/tmp/a.db"));
  allowlist.Add("Provider=SQLite;Data Source=/tmp/a.db");
  allowlist.Add("Provider=PostgreSQL;Host=db;Database=acct");
  EXPECT_TRUE(allowlist.Allows("Provider=SQLite;Data Source=/tmp/a.db"));
  EXPECT_TRUE(allowlist.Allows("Provider=PostgreSQL; Host=db; Database=acct"));
  EXPECT_FALSE(allowlist.Allows("Provider=PostgreSQL;Host=db;Database=other"));
  EXPECT_EQ(allowlist.connect_strings().size(), 2u);
}

}  // namespace
}  // namespace lxm::server

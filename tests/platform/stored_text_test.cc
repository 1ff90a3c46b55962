#include "platform/db/stored_text.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "platform/com_error.h"
#include "server/dispatcher.h"
#include "server/type_library.h"
#include "test_support/account_fixture.h"
#include "test_support/database_dump.h"

namespace lxm {
namespace {

using Json = nlohmann::ordered_json;

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(StoredTextTest, ChecksWhatEachStatementFormStores) {
  const DeclaredLengths& schema = SchemaTextLengths();
  EXPECT_EQ(schema.at("t_usertopclass.ftopclassname_en"), 255);
  EXPECT_EQ(schema.at("t_dataflowdetailfunc.fshowname"), 100);
  EXPECT_EQ(schema.at("t_dataflowtopclass.faccttype"), 510);
  EXPECT_EQ(schema.count("t_usertopclass.findex"), 0u);

  const DeclaredLengths lengths = ParseDeclaredLengths(
      "CREATE TABLE t (a VARCHAR(3) COLLATE NOCASE DEFAULT 'x,y', n INTEGER, b NVARCHAR(2),\n"
      "  -- c VARCHAR(1), a comment\n  PRIMARY KEY (n, a));");
  EXPECT_EQ(lengths, (DeclaredLengths{{"t.a", 3}, {"t.b", 2}}));

  const std::string kNul("x\0y", 3);
  struct Case {
    const char* sql;
    Params params;
    const char* refused;  // a part of the description; null: passes
  };
  const Case cases[] = {
      {"INSERT INTO T (A, N, B) VALUES (?, ?, ?)", {"abc", 1, "ab"}, nullptr},
      {"INSERT INTO T (A, N, B) VALUES (?, ?, ?)", {"abcd", 1, "ab"}, "table 'T', column 'A'"},
      {"INSERT INTO T (A, N, B) VALUES (?, ?, ?)", {"abc", 1, "abc"}, "column 'B': the value has 3 characters, the column holds 2"},
      // Characters are counted, not bytes.
      {"INSERT INTO t (a) VALUES (?)", {"凭证录"}, nullptr},
      {"INSERT INTO t (a) VALUES (?)", {"凭证录入"}, "column 'a'"},
      // An expression around the mark is no bare value: it is not counted.
      {"INSERT INTO t (n, a, b) VALUES (CAST(? AS INTEGER), COALESCE(?, ''), ?)", {"1", "abcd", "ab"}, nullptr},
      {"INSERT INTO t (n, a, b) VALUES (CAST(? AS INTEGER), COALESCE(?, ''), ?)", {"1", "abc", "abc"}, "column 'b'"},
      {"INSERT INTO t(n,b) SELECT ?, ? WHERE NOT EXISTS(SELECT 1 FROM t WHERE b = ?)", {1, "abc", "a"}, "column 'b'"},
      {"INSERT INTO t(n,b) SELECT ?, ? WHERE NOT EXISTS(SELECT 1 FROM t WHERE b = ?)", {1, "ab", "abcdef"}, nullptr},
      {"UPDATE t SET a=?, b = ? WHERE a = ?", {"abc", "ab", "a long condition"}, nullptr},
      {"UPDATE t SET a=?, b = ? WHERE a = ?", {"abc", "abc", "a"}, "column 'b'"},
      {"UPDATE t SET n = n + ?, a = ? WHERE n = ?", {1, "abcd", 2}, "column 'a'"},
      {"UPDATE other SET a = ?", {"abcdef"}, nullptr},
      // NUL goes nowhere, stored or compared.
      {"UPDATE t SET a = ? WHERE n = ?", {kNul, 1}, "column 'a' of table 't' holds a NUL"},
      {"UPDATE other SET a = ?", {kNul}, "column 'a' of table 'other' holds a NUL"},
      {"DELETE FROM t WHERE a = ?", {kNul}, "A value of the statement holds a NUL"},
      {"DELETE FROM t WHERE a = '?' AND b = ?", {"abcdef"}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    try {
      CheckStoredTexts("SQLite", c.sql, c.params, lengths);
      EXPECT_EQ(c.refused, nullptr) << "passed";
    } catch (const ComError& error) {
      ASSERT_NE(c.refused, nullptr) << error.description();
      EXPECT_EQ(error.number(), errors::kDatabase);
      EXPECT_EQ(error.source(), "SQLite");
      EXPECT_NE(error.description().find(c.refused), std::string::npos) << error.description();
    }
  }
}

// Over-long and NUL texts through the methods that store them, on the
// run's backend: the caller gets the database's error naming the column,
// and the database is as it was.
class StoredTextLimitsTest : public test::AccountTest {
 protected:
  StoredTextLimitsTest() { demo_ = true; }
};

TEST_F(StoredTextLimitsTest, MethodsRefuseTextsTheirColumnsCannotHold) {
  server::Dispatcher dispatcher(runtime_, server::PublicTypeLibrary(), {});
  const std::string dsn = Dsn(16394);
  auto call = [&](const char* method, Json args) {
    args.insert(args.begin(), dsn);
    return dispatcher.Call("LXMDataFlow.DatasUpdate", method, Json{{"args", args}}.dump());
  };
  // The user's stamp row exists, so that a refused call has nothing of its own to add.
  ASSERT_EQ(dispatcher.Call("LXMDataFlow.clsDataInfo", "GetUserTemplateVer", Json{{"args", {dsn}}}.dump()).status, 200);

  const std::string long_name = Repeat("名", 256);
  const std::string nul("A\0B", 3);
  struct Case {
    const char* method;
    Json args;
    const char* column;  // null: the method swallows its failure
  };
  const Case cases[] = {
      {"UpdateTopClassName", {1, long_name}, "FTopClassName"},
      {"UpdateTopClass", {1, {{"NewName", long_name}}}, "FTopClassName"},
      {"UpdateDetailFunc", {10010101, "PZ", Repeat("x", 101), "凭证录入"}, nullptr},
      {"AddNormalFuncGroup", {long_name, "short"}, "FFuncGroupName"},
      {"UpdateNormalFuncGroup", {3, long_name}, "FFuncGroupName"},
      {"SetProfileValue", {"Layout", long_name}, "FValue"},
      {"SetProfileValue", {"Layout", nul}, "FValue"},
      {"AddNormalFuncGroup", {nul, "short"}, "FFuncGroupName"},
  };
  const std::string before = test::DumpDatabase([&](const std::string& sql) { return Query(sql); });
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.args.dump().substr(0, 60));
    server::Reply reply = call(c.method, c.args);
    if (c.column == nullptr) {
      EXPECT_EQ(reply.status, 200) << reply.body.substr(0, 300);
    } else {
      ASSERT_EQ(reply.status, 500) << reply.body.substr(0, 300);
      Json error = Json::parse(reply.body)["error"];
      EXPECT_EQ(error["number"], errors::kDatabase);
      EXPECT_NE(error["description"].get<std::string>().find(c.column), std::string::npos) << error.dump();
    }
    EXPECT_EQ(test::DumpDatabase([&](const std::string& sql) { return Query(sql); }), before);
  }

  // The longest text a column holds is stored whole, on either backend.
  const std::string longest = Repeat("名", 255);
  ASSERT_EQ(call("SetProfileValue", {"Layout", longest}).status, 200);
  EXPECT_EQ(Scalar("SELECT FValue FROM t_UserDataFlowProfile WHERE FName = 'Layout' AND FUserID = 16394").AsString(),
            longest);
}

}  // namespace
}  // namespace lxm

// ImportUserData: a saved layout replaces the caller's overlay, all or
// nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "info/datas_info.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "test_support/error_matchers.h"
#include "update/update_fixture.h"

namespace lxm {
namespace {

using test::ErrorOf;
// A recordset row (the fixture's Row() reads a stored one).
using Cells = lxm::Row;

// The fields the import reads from a detail-function level.
std::vector<Field> DetailFields() {
  auto text = FieldType::kVarWChar;
  auto number = FieldType::kInteger;
  return {{"FDetailFuncID", number}, {"FFuncName", text},  {"FFuncName_CHT", text}, {"FFuncName_EN", text},
          {"FSubFuncID", number},    {"FIndex", number},   {"FClassName", text},    {"FClassParam", text},
          {"FVisible", number},      {"FHelpCode", text},  {"FEnable", number}};
}

Cells DetailRow(int32_t id, const std::string& name = "n") {
  return {Variant(id), Variant(name), Variant(name), Variant(name), Variant(100101), Variant(10),
          Variant("K.C"), Variant("p"), Variant(1), Variant("H"), Variant(1)};
}

// A container whose other three levels are empty.
std::shared_ptr<Dictionary> WithDetails(const Recordset& details) {
  auto container = Dictionary::Create();
  container->Set("TopClass", Variant(Recordset()));
  container->Set("SubSystem", Variant(Recordset()));
  container->Set("SubFunc", Variant(Recordset()));
  container->Set("DetailFunc", Variant(details));
  return container;
}

class ImportUserDataTest : public test::UpdateTest {
 protected:
  void SetUp() override {
    UpdateTest::SetUp();
    // User 6's own rows on every level, some of which user 5 does not have.
    Exec("INSERT INTO t_UserTopClass (FTopClassID, FUserID, FTopClassName, FTopClassName_CHT, FTopClassName_EN, "
         "FIndex, FVisible, FAcctType) VALUES (1, 6, '六财务', '六財務', 'Six finance', 5, 0, ',1,')");
    Exec("INSERT INTO t_UserSubFunc (FSubFuncID, FUserID, FSubSysID, FIndex, FFuncName, FFuncName_CHT, "
         "FFuncName_EN, FVisible) VALUES (100101, 6, 1001, 7, '六凭证', '六憑證', 'Six vouchers', 1)");
    Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName, FFuncName_CHT, "
         "FFuncName_EN, FClassName, FClassParam, FVisible, FHelpCode, FEnable) VALUES "
         "(1000000001, 6, 100101, 3, 'O''Brien', NULL, 'Own', 'K.Own', 'x', 1, 'OWN', 0)");
    // User 5's own rows, to be replaced.
    Exec("INSERT INTO t_UserTopClass (FTopClassID, FUserID, FTopClassName, FIndex) VALUES (2, 5, '五', 1)");
    Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName) VALUES "
         "(10010101, 5, 100101, 1, '五录入')");
  }

  // Every overlay row of every user (but `except_user`), as text, in a
  // fixed order.
  std::vector<std::string> Overlay(std::optional<int32_t> except_user = std::nullopt) {
    std::vector<std::string> rows;
    for (const char* table : {"t_UserTopClass", "t_UserSubSystem", "t_UserSubFunc", "t_UserDetailFunc"}) {
      Recordset rs = Query(std::string("SELECT * FROM ") + table + " WHERE FUserID <> ? ORDER BY FUserID, 1",
                           {Variant(except_user.value_or(-1))});
      for (; !rs.Eof(); rs.MoveNext()) {
        std::string line = table;
        for (size_t i = 0; i < rs.Fields().size(); ++i) {
          line += "|" + (rs.Value(i).IsNull() ? std::string("<null>") : CStr(rs.Value(i)));
        }
        rows.push_back(line);
      }
    }
    return rows;
  }

  // The rows of one user in one table, without the FUserID column.
  std::vector<std::string> RowsOf(const std::string& table, int32_t user) {
    std::vector<std::string> rows;
    Recordset rs = Query("SELECT * FROM " + table + " WHERE FUserID = ? ORDER BY 1", {Variant(user)});
    for (; !rs.Eof(); rs.MoveNext()) {
      std::string line;
      for (size_t i = 0; i < rs.Fields().size(); ++i) {
        if (rs.Fields()[i].name == "FUserID") continue;
        line += (rs.Value(i).IsNull() ? std::string("<null>") : CStr(rs.Value(i))) + "|";
      }
      rows.push_back(line);
    }
    return rows;
  }

  DatasInfo info_{runtime_};
};

TEST_F(ImportUserDataTest, ALayoutExportedByOneUserBecomesAnotherUsersOwnOverlay) {
  std::shared_ptr<Dictionary> layout = info_.ExportUserData(Dsn(6));
  std::vector<std::string> others_before = Overlay(5);
  auto stamps = Stamps();

  update_.ImportUserData(Dsn(5, "en"), layout);

  // User 5 now owns, row for row, what user 6 saw: user 6's own rows and
  // the shared default rows of the nodes user 6 had none for.
  EXPECT_EQ(RowsOf("t_UserTopClass", 5), RowsOf("t_UserTopClass", 6));
  EXPECT_EQ(RowsOf("t_UserSubFunc", 5), RowsOf("t_UserSubFunc", 6));
  std::vector<std::string> sub_systems = RowsOf("t_UserSubSystem", 6);
  for (const std::string& row : RowsOf("t_UserSubSystem", 0)) {
    if (row.rfind("1001|", 0) != 0) sub_systems.push_back(row);
  }
  std::vector<std::string> imported_sub_systems = RowsOf("t_UserSubSystem", 5);
  std::sort(sub_systems.begin(), sub_systems.end());
  std::sort(imported_sub_systems.begin(), imported_sub_systems.end());
  EXPECT_EQ(imported_sub_systems, sub_systems);
  std::vector<std::string> details = RowsOf("t_UserDetailFunc", 0);
  for (const std::string& row : RowsOf("t_UserDetailFunc", 6)) details.push_back(row);
  std::sort(details.begin(), details.end());
  std::vector<std::string> imported_details = RowsOf("t_UserDetailFunc", 5);
  std::sort(imported_details.begin(), imported_details.end());
  EXPECT_EQ(imported_details, details);
  // A quote and a Null name arrive as they were.
  EXPECT_EQ(Row("SELECT FFuncName, FFuncName_CHT FROM t_UserDetailFunc WHERE FUserID = 5 AND FDetailFuncID = "
                "1000000001"),
            (std::map<std::string, std::string>{{"FFuncName", "O'Brien"}, {"FFuncName_CHT", "<null>"}}));

  // Nobody else's rows changed; only user 5's stamp moved.
  EXPECT_EQ(Overlay(5), others_before);
  EXPECT_EQ(MovedSince(stamps), (std::set<std::string>{"DataFlow5"}));
}

TEST_F(ImportUserDataTest, ValuesAreConvertedByTheAutomationRulesAndStoredAsGiven) {
  Cells row = DetailRow(1000000007, "it's \"quoted\"; --");
  row[5] = Variant(" 12 ");           // FIndex as text
  row[4] = Variant(2.5);              // FSubFuncID as a fraction: halves to even
  row[7] = Variant(42);               // FClassParam, a number for a text
  row[8] = Variant::Null();           // FVisible Null: hidden
  row[9] = Variant();                 // FHelpCode Empty: ""
  row[10] = Variant("True");          // FEnable as text
  std::vector<Cells> rows = {DetailRow(1000000006), row};
  Recordset details(DetailFields(), rows);
  details.MoveNext();  // read from the current row on

  update_.ImportUserData(Dsn(5), WithDetails(details));

  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserDetailFunc WHERE FUserID = 5"), 1);
  EXPECT_EQ(Row("SELECT FFuncName, FSubFuncID, FIndex, FClassParam, FVisible, FHelpCode, FEnable "
                "FROM t_UserDetailFunc WHERE FUserID = 5 AND FDetailFuncID = 1000000007"),
            (std::map<std::string, std::string>{{"FFuncName", "it's \"quoted\"; --"},
                                                {"FSubFuncID", "2"},
                                                {"FIndex", "12"},
                                                {"FClassParam", "42"},
                                                {"FVisible", "0"},
                                                {"FHelpCode", ""},
                                                {"FEnable", "1"}}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserTopClass WHERE FUserID = 5"), 0);
  EXPECT_EQ(details.AbsolutePosition(), 2);  // the caller's cursor stays
}

TEST_F(ImportUserDataTest, EmptyLevelsLeaveTheUserOnTheSharedDefault) {
  auto stamps = Stamps();
  update_.ImportUserData(Dsn(6), WithDetails(Recordset()));
  for (const char* table : {"t_UserTopClass", "t_UserSubSystem", "t_UserSubFunc", "t_UserDetailFunc"}) {
    SCOPED_TRACE(table);
    EXPECT_EQ(Count(std::string("SELECT COUNT(*) FROM ") + table + " WHERE FUserID = 6"), 0);
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubSystem WHERE FUserID = 0"), 3);
  EXPECT_EQ(MovedSince(stamps), (std::set<std::string>{"DataFlow6"}));

  // The shared default is every user's view: every user's stamp moves.
  stamps = Stamps();
  std::set<std::string> users;
  for (const auto& [name, version] : stamps) {
    if (name != "DataFlow") users.insert(name);
  }
  ASSERT_GE(users.size(), 3u);
  update_.ImportUserData(Dsn(0), WithDetails(Recordset()));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubSystem WHERE FUserID = 0"), 0);
  EXPECT_EQ(MovedSince(stamps), users);
}

TEST_F(ImportUserDataTest, BadContainersFailAndChangeNothing) {
  auto valid = [] { return std::vector<Cells>{DetailRow(1000000006), DetailRow(1000000007)}; };
  auto with_cell = [&](size_t row, size_t column, Variant value) {
    std::vector<Cells> rows = valid();
    rows[row][column] = std::move(value);
    return WithDetails(Recordset(DetailFields(), rows));
  };
  auto without_key = [&](const char* key) {
    std::shared_ptr<Dictionary> container = WithDetails(Recordset(DetailFields(), valid()));
    container->Remove(key);
    return container;
  };
  auto holding = [&](Variant value) {
    std::shared_ptr<Dictionary> container = WithDetails(Recordset(DetailFields(), valid()));
    container->Set("SubFunc", std::move(value));
    return container;
  };
  std::vector<Field> no_index = DetailFields();
  no_index.erase(no_index.begin() + 5);
  std::vector<Cells> short_rows = valid();
  short_rows[1].resize(5);

  struct Case {
    const char* name;
    std::shared_ptr<Dictionary> container;
    int32_t number;
    bool invalid_file;  // error 5 with the container's source and message
    std::string dsn_suffix = "";
  };
  const Case cases[] = {
      {"no container", nullptr, errors::kInvalidCall, true},
      {"no DetailFunc", without_key("DetailFunc"), errors::kInvalidCall, true},
      {"no TopClass", without_key("TopClass"), errors::kInvalidCall, true},
      {"a bad first level and no last one", [&] {
         std::shared_ptr<Dictionary> container = without_key("DetailFunc");
         container->Set("TopClass", Variant(Recordset({{"X", FieldType::kInteger}}, {{Variant(1)}})));
         return container;
       }(), errors::kInvalidCall, true},
      {"a level holding text", holding(Variant("rows")), errors::kInvalidCall, true},
      {"a level holding a dictionary", holding(Variant(Dictionary::Create())), errors::kInvalidCall, true},
      {"a level holding Nothing", holding(Variant(std::shared_ptr<Recordset>())), errors::kInvalidCall, true},
      {"a field missing", WithDetails(Recordset(no_index, {Cells(10, Variant(1))})), errors::kItemNotFound, false},
      {"a row too short", WithDetails(Recordset(DetailFields(), short_rows)), errors::kItemNotFound, false},
      {"text in an index", with_cell(1, 5, Variant("ten")), errors::kTypeMismatch, false},
      {"text in an ID", with_cell(1, 0, Variant("abc")), errors::kTypeMismatch, false},
      {"text in a flag", with_cell(1, 8, Variant("yes")), errors::kTypeMismatch, false},
      {"an ID beyond 32 bits", with_cell(1, 0, Variant(3000000000.0)), errors::kOverflow, false},
      {"a Null ID", with_cell(1, 0, Variant::Null()), errors::kInvalidUseOfNull, false},
      {"an Empty parent", with_cell(1, 4, Variant()), errors::kInvalidUseOfNull, false},
      {"an object for a name", with_cell(1, 1, Variant(Dictionary::Create())), errors::kTypeMismatch, false},
      {"the same node twice", with_cell(1, 0, Variant(1000000006)), errors::kDatabase, false},
      {"a descriptor that does not parse", WithDetails(Recordset()), errors::kDuplicateKey, false, ";UserID=1"},
  };
  std::vector<std::string> before = Overlay();
  auto stamps = Stamps();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto error = ErrorOf([&] { update_.ImportUserData(Dsn(6, "cht") + c.dsn_suffix, c.container); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), c.number) << error->description();
    if (c.invalid_file) {
      EXPECT_EQ(error->source(), "LXMDataFlow.DatasUpdate.ImportUserData");
      EXPECT_EQ(error->description(), "無效或錯誤的範本檔案，請重新選擇。");
    }
    EXPECT_EQ(Overlay(), before);
    EXPECT_TRUE(MovedSince(stamps).empty());
  }
}

TEST_F(ImportUserDataTest, ALateFailingStatementUndoesTheDeletesAndEveryInsert) {
  // The last statement of the batch before the stamp bump is refused.
  AddFault("refuse", "BEFORE INSERT ON t_UserDetailFunc WHEN NEW.FFuncName = 'boom'", "no booms");
  std::shared_ptr<Dictionary> layout = info_.ExportUserData(Dsn(0));
  std::vector<Cells> details;
  for (int32_t id = 1000000001; id <= 1000000050; ++id) details.push_back(DetailRow(id));
  details.push_back(DetailRow(1000000099, "boom"));
  layout->Set("DetailFunc", Variant(Recordset(DetailFields(), details)));
  std::vector<std::string> before = Overlay();
  auto stamps = Stamps();

  auto error = ErrorOf([&] { update_.ImportUserData(Dsn(6), layout); });

  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kDatabase);
  EXPECT_EQ(error->source(), BackendName());
  EXPECT_NE(error->description().find("no booms"), std::string::npos);
  EXPECT_EQ(Overlay(), before);
  EXPECT_TRUE(MovedSince(stamps).empty());
}

}  // namespace
}  // namespace lxm

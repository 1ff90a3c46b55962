// GetHelpCodeInfo: the six sources, their order, columns and filters.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "info/datas_info.h"
#include "platform/com_error.h"
#include "test_support/account_fixture.h"
#include "test_support/error_matchers.h"

namespace lxm {
namespace {

// (FOrderIndex, FDetailFuncID) of every row, in order.
std::vector<std::pair<int32_t, int32_t>> Sources(Recordset rs) {
  std::vector<std::pair<int32_t, int32_t>> rows;
  for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
    rows.emplace_back(rs.Value("FOrderIndex").AsLong(), rs.Value("FDetailFuncID").AsLong());
  }
  return rows;
}

class HelpCodeTest : public test::AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    Exec("INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES ('Base', 'ServicePack', 'V12.01.SP3')");
    Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName) VALUES (1001, 1, 'GL')");
    Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FFuncName) VALUES (100101, 1001, 'V')");
    // Template functions with code PZ: 1 (every account type), 2 (types 1
    // and 2), 3 (type 12), 4 (disabled), 5 (overlaid by the default, hidden).
    Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FIndex, FFuncName, FHelpCode, FAcctType, "
         "FEnable, FVisible, FClassName, FShowName) VALUES "
         "(10010101, 100101, 1, 'a', 'PZ', '', 1, 1, 'K.A', 'sa'),"
         "(10010102, 100101, 2, 'b', 'pz ', ',1,2,', 1, 1, 'K.B', 'sb'),"
         "(10010103, 100101, 3, 'c', 'PZ', ',12,', 1, 1, 'K.C', 'sc'),"
         "(10010104, 100101, 4, 'd', 'PZ', '', 0, 1, 'K.D', 'sd'),"
         "(10010105, 100101, 5, 'e', 'PZ', '', 1, 1, 'K.E', 'se'),"
         "(10010106, 100101, 6, 'f', 'OTHER', '', 1, 1, 'K.F', 'sf')");
    Exec("INSERT INTO t_UserSubFunc (FSubFuncID, FUserID, FSubSysID, FFuncName) VALUES (100101, 0, 1001, 'V')");
    Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FFuncName, FHelpCode, FVisible, "
         "FClassName) VALUES (10010105, 0, 100101, 'e0', 'PZ', 0, NULL),"
         "(1000000001, 5, 100101, 'mine', 'Pz', 1, 'K.MINE'),"
         "(10010106, 5, 100101, 'f5', 'PZ', 1, NULL)");
    // User 5's favourites: its own function under code FAV, a template one
    // under code PZ.
    Exec("INSERT INTO t_NormalFunc (FFuncGroupID, FUserID, FDetailFuncID, FHelpCode, FShowName, FFuncName) "
         "VALUES (1, 5, 1000000001, 'PZ', 'm', 'mine'), (1, 5, 10010106, 'O''Brien', 'q', 'f')");
  }

  DatasInfo info_{runtime_};
};

TEST_F(HelpCodeTest, SourcesComeInOrderOfPrecedence) {
  std::string code = "pz";
  Recordset rs = info_.GetHelpCodeInfo(Dsn(5), code);
  EXPECT_EQ(code, "pz");
  // 1: own function as favourite; 4: own functions by their own code (the
  // completed 10010106 too); 6: template functions of the installed type 01,
  // not overlaid. 10010103 (type 12), 10010104 (disabled) and 10010105
  // (overlaid by the default, even hidden) are not found.
  EXPECT_EQ(Sources(rs), (std::vector<std::pair<int32_t, int32_t>>{
                             {1, 1000000001}, {4, 10010106}, {4, 1000000001}, {6, 10010101}, {6, 10010102}}));
  std::vector<std::string> names;
  for (const Field& field : rs.Fields()) names.push_back(field.name);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "FOrderIndex", "FSubSysID", "FHelpCode1", "FHelpCode", "FDetailFuncID", "FFuncName",
                       "FFuncName_CHT", "FFuncName_EN", "FSubFuncID", "FIndex", "FClassName", "FClassParam",
                       "FVisible", "FEnable", "FIsNormal", "FAcctType", "FFuncType", "FShowName",
                       "FShowName_CHT", "FShowName_EN", "FIsEdit"}));
  // Source 1 carries the fixed template attributes; source 4 completes the
  // class from the template.
  EXPECT_EQ(rs.Value("FIsNormal").AsLong(), 1);
  EXPECT_EQ(rs.Value("FAcctType").AsString(), "");
  EXPECT_EQ(rs.Value("FSubSysID").AsLong(), 1001);
  rs.MoveNext();
  EXPECT_EQ(rs.Value("FClassName").AsString(), "K.F");
  EXPECT_EQ(rs.Value("FShowName").AsString(), "sf");
}

TEST_F(HelpCodeTest, QuotedCodesAreBoundAndBlankCodesFindNothing) {
  // A favourite's code with a quote finds the caller's own row of the function
  // (source 1) and its template row (source 3).
  std::string quoted = "o'brien ";
  EXPECT_EQ(Sources(info_.GetHelpCodeInfo(Dsn(5), quoted)),
            (std::vector<std::pair<int32_t, int32_t>>{{1, 10010106}, {3, 10010106}}));
  std::string none = "";
  EXPECT_TRUE(info_.GetHelpCodeInfo(Dsn(5), none).Eof());
  std::string unknown = "NOPE";
  EXPECT_TRUE(info_.GetHelpCodeInfo(Dsn(5), unknown).Eof());
}

TEST_F(HelpCodeTest, AccountTypeComesFromTheServicePack) {
  std::string code = "PZ";
  // Characters 5 and 6, counted as the client counts them (a character
  // outside the BMP counts two).
  for (const char* service_pack : {"V12.12", "版本.X12", "\U0001F642.X12"}) {
    SCOPED_TRACE(service_pack);
    Exec("UPDATE t_SystemProfile SET FValue = ? WHERE FKey = 'ServicePack'", {Variant(service_pack)});
    std::vector<int32_t> template_rows;
    for (auto [source, id] : Sources(info_.GetHelpCodeInfo(Dsn(7), code))) {
      if (source == 6) template_rows.push_back(id);
    }
    EXPECT_EQ(template_rows, (std::vector<int32_t>{10010101, 10010103}));
  }

  for (const char* bad : {"V12.xx", "V1"}) {
    SCOPED_TRACE(bad);
    Exec("UPDATE t_SystemProfile SET FValue = ? WHERE FKey = 'ServicePack'", {Variant(bad)});
    std::optional<ComError> error = test::ErrorOf([&] { info_.GetHelpCodeInfo(Dsn(7), code); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errors::kTypeMismatch);
    EXPECT_EQ(error->source(), "LxmDataFlow.DatasInfo:GetHelpCodeInfo");
  }
  Exec("DELETE FROM t_SystemProfile");
  std::optional<ComError> missing = test::ErrorOf([&] { info_.GetHelpCodeInfo(Dsn(7), code); });
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->source(), "LxmDataFlow.DatasInfo:GetHelpCodeInfo");
}

}  // namespace
}  // namespace lxm

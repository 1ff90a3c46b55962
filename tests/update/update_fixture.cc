#include "update/update_fixture.h"

#include "platform/convert.h"

namespace lxm::test {

void UpdateTest::SetUp() {
  AccountTest::SetUp();
  Exec("INSERT INTO t_DataFlowTopClass (FTopClassID, FTopClassName, FTopClassName_CHT, FTopClassName_EN, FIndex, "
       "FVisible, FShowSysType, FAcctType) VALUES (1, '财务', '財務', 'Finance', 10, 1, 0, ',1,'), "
       "(2, '供应链', '供應鏈', 'Supply chain', 20, 1, 0, '')");
  Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName, FName_CHT, FName_EN, FIndex, FVisible, "
       "FShowSysType, FAcctType, FRefresh, FHelpFileName) VALUES "
       "(1001, 1, '总账', '總賬', 'Ledger', 10, 1, 0, ',1,2,', 1, 'gl.chm')");
  Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FIndex, FFuncName, FFuncName_CHT, FFuncName_EN, "
       "FFuncType, FSetEnable) VALUES (100101, 1001, 10, '凭证', '憑證', 'Vouchers', 3, 1)");
  Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FIndex, FFuncName, FFuncName_CHT, "
       "FFuncName_EN, FClassName, FClassParam, FHelpCode, FVisible, FEnable, FFuncType, FShowName) VALUES "
       "(10010101, 100101, 10, '录入', '錄入', 'Entry', 'K3.Voucher', 'new', 'PZLR', 1, 1, 3, '凭证录入'), "
       "(999999999, 100101, 20, '最后', '最後', 'Last', 'K3.Last', 'last', 'ZH', 1, 1, 3, NULL)");
  Exec("INSERT INTO t_DataFlowAcctType (FAcctType, FName, FNumber, FShowName, FShowName_CHT, FShowName_EN) "
       "VALUES (3, '企业会计准则', '03', '准则', '準則', 'Standards')");
  Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FTopClassID, FName, FName_CHT, FName_EN, FIndex, "
       "FVisible, FAcctType) VALUES "
       "(1001, 0, 1, '默认总账', '默認總賬', 'Default ledger', 15, 1, ',9,'), "
       "(2001, 0, 2, '默认采购', '默認採購', 'Default purchasing', 25, 1, ',9,'), "
       "(100005, 0, 1, '共享报表', '共享報表', 'Shared reports', 35, 1, ''), "
       "(1001, 6, 1, '六的总账', '六的總賬', 'Six ledger', 40, 1, '')");
  Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName, FFuncName_CHT, "
       "FFuncName_EN, FClassName, FClassParam, FVisible, FHelpCode, FEnable) VALUES "
       "(10010199, 0, 100101, 99, '默认明细', '默認明細', 'Default detail', 'K3.D', 'd', 1, 'MR', 1)");
  for (const char* name : {"DataFlow", "DataFlow0", "DataFlow5", "DataFlow6", "DataFlow7"}) {
    Exec("INSERT INTO t_DataFlowTimeStamp (FName) VALUES (?)", {Variant(name)});
  }
}

std::shared_ptr<Dictionary> UpdateTest::Values(
    std::initializer_list<std::pair<std::string, Variant>> entries) {
  std::shared_ptr<Dictionary> dict = Dictionary::Create();
  for (const auto& [key, value] : entries) dict->Set(key, value);
  return dict;
}

std::map<std::string, int64_t> UpdateTest::Stamps() {
  std::map<std::string, int64_t> stamps;
  Recordset rs = Query("SELECT FName, FTimeStamp FROM t_DataFlowTimeStamp");
  for (; !rs.Eof(); rs.MoveNext()) {
    stamps[rs.Value("FName").AsString()] = VersionNumber(rs.Value("FTimeStamp"));
  }
  return stamps;
}

std::set<std::string> UpdateTest::MovedSince(const std::map<std::string, int64_t>& before) {
  std::set<std::string> moved;
  for (const auto& [name, version] : Stamps()) {
    auto it = before.find(name);
    if (it == before.end() || it->second != version) moved.insert(name);
  }
  return moved;
}

std::map<std::string, std::string> UpdateTest::Row(const std::string& sql, const Params& params) {
  std::map<std::string, std::string> row;
  Recordset rs = Query(sql, params);
  if (rs.Eof()) return row;
  for (size_t i = 0; i < rs.Fields().size(); ++i) {
    const Variant& value = rs.Value(i);
    row[rs.Fields()[i].name] = value.IsNull() ? std::string("<null>") : CStr(value);
  }
  return row;
}

int64_t UpdateTest::Count(const std::string& sql, const Params& params) {
  return static_cast<int64_t>(CDbl(Scalar(sql, params)));
}

}  // namespace lxm::test

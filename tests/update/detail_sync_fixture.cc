#include "update/detail_sync_fixture.h"

#include "platform/convert.h"

namespace lxm::test {

void DetailSyncTest::SetUp() {
  UpdateTest::SetUp();
  Exec("UPDATE t_DataFlowDetailFunc SET FAcctType = ',1,' WHERE FDetailFuncID = 10010101");
  Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FIndex, FFuncName, FFuncName_CHT, FFuncName_EN) "
       "VALUES (600201, 6002, 10, '报表', '報表', 'Reports')");
  Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FIndex, FFuncName, FFuncName_CHT, "
       "FFuncName_EN, FClassName, FClassParam) VALUES "
       "(60020101, 600201, 1, '固定', '固定', 'Fixed', 'R', '1'), "
       "(60020108, 600201, 8, '旧单据', '舊單據', 'Old bill', 'R', '3001'), "
       "(60020109, 600201, 9, '十二', '十二', 'Twelve', 'R', '12'), "
       "(60020150, 600201, 50, '五十', '五十', 'Fifty', 'R', '50')");
  Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FIndex, FFuncName, FFuncName_CHT, "
       "FFuncName_EN, FClassName, FClassParam) VALUES "
       "(10010101, 5, 100101, 1, '我的录入', '我的錄入', 'My entry', 'K3.Voucher', 'new'), "
       "(10010150, 5, 100101, 50, '私有', '私有', 'Private', 'K3.P', 'p'), "
       "(1000000001, 5, 100101, 60, '自建', '自建', 'Created', 'K3.C', 'c'), "
       "(60020170, 5, 600201, 70, '仅我', '僅我', 'Only mine', 'R', '99'), "
       "(60020109, 6, 600201, 9, '六的十二', '六的十二', 'Six twelve', 'R', '12'), "
       "(60020160, 6, 600201, 60, '六十', '六十', 'Sixty', 'R', '60'), "
       "(10010150, 7, 100101, 50, '七的私有', '七的私有', 'Seven private', 'K3.P', 'p')");
  Exec("INSERT INTO t_NormalFuncGroup (FFuncGroupID, FUserID, FFuncGroupName) VALUES (1, 5, 'g5'), (2, 6, 'g6')");
  Exec("INSERT INTO t_NormalFunc (FFuncGroupID, FUserID, FDetailFuncID, FFuncName) VALUES "
       "(1, 5, 10010101, 'a'), (1, 5, 10010150, 'b'), (1, 5, 1000000001, 'c'), (1, 5, 20000001, 'd'), "
       "(2, 6, 10010150, 'e'), (2, 6, 60020109, 'f')");
  Exec("INSERT INTO t_base_FlowChartTree (FID, FDetailFuncID, FName, FacctType) VALUES (1, 10010101, 'n', ',5,')");
}

std::shared_ptr<Vector> DetailSyncTest::List(std::initializer_list<Variant> items) {
  std::shared_ptr<Vector> list = Vector::Create();
  for (const Variant& item : items) list->Append(item);
  return list;
}

std::vector<int32_t> DetailSyncTest::IdList(const std::string& sql, const Params& params) {
  std::vector<int32_t> ids;
  for (Recordset rs = Query(sql, params); !rs.Eof(); rs.MoveNext()) ids.push_back(CLng(rs.Value(size_t{0})));
  return ids;
}

std::string DetailSyncTest::Dump() {
  std::string dump;
  for (const char* sql : {"SELECT * FROM t_DataFlowDetailFunc ORDER BY FDetailFuncID",
                          "SELECT * FROM t_UserDetailFunc ORDER BY FUserID, FDetailFuncID",
                          "SELECT * FROM t_NormalFunc ORDER BY FUserID, FDetailFuncID",
                          "SELECT * FROM t_UserSubFunc ORDER BY FUserID, FSubFuncID",
                          "SELECT * FROM t_DataFlowSubFunc ORDER BY FSubFuncID",
                          "SELECT * FROM t_base_FlowChartTree ORDER BY FID"}) {
    for (Recordset rs = Query(sql); !rs.Eof(); rs.MoveNext()) {
      for (size_t i = 0; i < rs.Fields().size(); ++i) {
        dump += rs.Value(i).IsNull() ? std::string("<null>") : CStr(rs.Value(i));
        dump += '|';
      }
      dump += '\n';
    }
    dump += "--\n";
  }
  return dump;
}

int64_t DetailSyncTest::Marks() {
  return Count("SELECT (SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FDetailFuncID < 0) + "
               "(SELECT COUNT(*) FROM t_UserDetailFunc WHERE FDetailFuncID < 0) + "
               "(SELECT COUNT(*) FROM t_NormalFunc WHERE FDetailFuncID < 0)");
}

}  // namespace lxm::test

// DatasInfo: single-node questions answered by SQL on the template tables:
// the subsystem above a node, whether a node has children, and the
// subsystem's reload flag.
#include <string>

#include "info/datas_info.h"
#include "info/node_query_support.h"
#include "platform/call_scope.h"
#include "platform/convert.h"

namespace lxm {

namespace {

// The template subsystem above a detail function or a sub-function. The
// chain of keys gives at most one row.
constexpr std::string_view kSubSystemOfDetailFunc =
    " From t_DataFlowSubSystem a,t_DataFlowSubFunc b,t_DataFlowDetailFunc c"
    " Where a.FSubsysID=b.FSubSysID And b.FSubFuncID=c.FSubFuncID And c.FDetailFuncID=?";
constexpr std::string_view kSubSystemOfSubFunc =
    " From t_DataFlowSubSystem a,t_DataFlowSubFunc b Where a.FSubsysID=b.FSubSysID And b.FSubFuncID=?";

// The first row's first field as text; "" without a row or for Null.
std::string FirstText(const Recordset& rs) {
  if (rs.Eof()) return {};
  const Variant& value = rs.Value(size_t{0});
  return value.IsNull() ? std::string() : CStr(value);
}

}  // namespace

std::string DatasInfo::GetSubSysClass(std::string_view sDsn, int32_t& lID, int32_t& lType) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    PrepareContext(sDsn);
    std::string sql = "Select a.FClassName";
    if (lType == 4) {
      sql += kSubSystemOfDetailFunc;
    } else if (lType == 3) {
      sql += kSubSystemOfSubFunc;
    } else {
      throw UnknownLevelCode();
    }
    return FirstText(context_.data_source->UncommitedConnection().Query(sql, {Variant(lID)}));
  });
}

std::string DatasInfo::GetSubSysName(std::string_view sDsn, int32_t& lFDetailFuncID) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    PrepareContext(sDsn);
    // The base column: simplified Chinese whatever the request language.
    std::string sql = "Select a.FName" + std::string(kSubSystemOfDetailFunc);
    return FirstText(context_.data_source->UncommitedConnection().Query(sql, {Variant(lFDetailFuncID)}));
  });
}

bool DatasInfo::IsHasChild(std::string_view sDsn, int32_t& lBase, int32_t& lID) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    PrepareContext(sDsn);
    // Only the template is asked: children that exist only in overlays do
    // not count.
    std::string_view sql;
    switch (lBase) {
      case 1000: sql = "Select 1 From t_DataFlowSubSystem Where FTopClassID=?"; break;
      case 100000: sql = "Select 1 From t_DataFlowSubFunc Where FSubSysID=?"; break;
      case 10000000: sql = "Select 1 From t_DataFlowDetailFunc Where FSubFuncID=?"; break;
      case 1000000000: return false;  // detail functions are leaves
      default: throw UnknownLevelCode();
    }
    return !context_.data_source->UncommitedConnection().Query(sql, {Variant(lID)}).Eof();
  });
}

bool DatasInfo::IsReFreshBaseData(std::string_view sDsn, int32_t lngSystemID) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    return AnswerOrFallback(true, [&] {
      PrepareContext(sDsn);
      DbConnection connection = context_.data_source->Connection();
      Recordset rs = connection.Query("Select FUpdateBaseData From t_DataFlowSubSystem WHERE FSubSysID=?",
                                      {Variant(lngSystemID)});
      if (rs.Eof()) return true;
      // A Null flag does not convert, and answers True like any failure.
      bool reload = CBool(rs.Value("FUpdateBaseData"));
      if (reload) {
        connection.Execute("Update t_DataFlowSubSystem Set FUpdateBaseData = 0 WHERE FSubSysID=?",
                           {Variant(lngSystemID)});
      }
      return reload;
    });
  });
}

}  // namespace lxm

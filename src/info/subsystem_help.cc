// DatasInfo::GetSubSystemHelp: the help subsystem of a detail function.
#include "info/datas_info.h"

#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "platform/convert.h"

namespace lxm {

namespace {

// The subsystem is not the function's parent: it is the template subsystem
// sharing the module code (FSubID) of the function's sub-function. Blank codes
// link nothing; with several matches the smallest ID wins.
constexpr std::string_view kHelpSubsystem =
    "select t3.FSubSysID\r\n"
    "from t_DataFlowDetailFunc  t1\r\n"
    "inner join t_DataFlowSubFunc t2 on t1.FSubFuncID=t2.FSubFuncID\r\n"
    "inner join t_DataFlowSubSystem t3 on t2.FSubID=t3.FSubID "
    "and COALESCE(RTRIM(t2.FSubID),'')<>''\r\n"
    "Where t1.fDetailFuncid =?\r\n"
    "order by t3.FSubSysID\r\n";

constexpr std::string_view kSource = "LxmDataFlow.DatasInfo:GetSubSystemHelp";

}  // namespace

int32_t DatasInfo::GetSubSystemHelp(std::string_view sDsn, int32_t lDetailFuncID) {
  try {
    return RunInCallScope(*runtime_, false, [&] {
      PrepareContext(sDsn);
      DbConnection connection = context_.data_source->Connection();
      Recordset rs = connection.Query(kHelpSubsystem, {Variant(lDetailFuncID)});
      if (rs.Eof()) return 0;
      return CLng(rs.Value("FSubSysID"));
    });
  } catch (const ComError& error) {
    throw error.WithSource(std::string(kSource));
  }
}

}  // namespace lxm

// DatasUpdate::ReFreshStatus, UpdateFuncEnable and UpdateSysBaseData: the
// enable flags of detail functions and the base-data mark of subsystems.
#include <cstdint>

#include "platform/convert.h"
#include "update/datas_update.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

// Functions of type -1 keep their flag whatever the status. Sub-function.
constexpr std::string_view kDisableAll =
    "UPDATE t_DataFlowDetailFunc SET FEnable=0 WHERE FSubFuncID=? AND FFuncType<>-1";
constexpr std::string_view kTypedFunctions =
    "SELECT FDetailFuncID, FFuncType FROM t_DataFlowDetailFunc WHERE FSubFuncID=? AND FFuncType<>-1";
constexpr std::string_view kEnable = "UPDATE t_DataFlowDetailFunc SET FEnable=1 WHERE FDetailFuncID=?";
constexpr std::string_view kMarkBaseData = "UPDATE t_DataFlowSubSystem SET FUpdateBaseData=1";

}  // namespace

void DatasUpdate::ReFreshStatus(std::string_view sDsn, int32_t& lSubFuncID, int32_t& lStatus) {
  RunSwallowingWrite(
      *runtime_, context_, sDsn,
      [&](WriteRequest& request) {
        const Variant sub_func(lSubFuncID);
        request.connection.Execute(kDisableAll, {sub_func});
        Recordset functions = request.connection.Query(kTypedFunctions, {sub_func});
        for (; !functions.Eof(); functions.MoveNext()) {
          const Variant& type = functions.Value("FFuncType");
          if (type.IsNull() || (lStatus & CLng(type)) <= 0) continue;
          // A call of its own, as clients make it: its failure is its own.
          int32_t detail_id = CLng(functions.Value("FDetailFuncID"));
          UpdateFuncEnable(sDsn, detail_id);
        }
        BumpStamp(request.connection, request.parse, /*template_stamp=*/true);
      },
      "ReFreshStatus");
}

void DatasUpdate::UpdateFuncEnable(std::string_view sDsn, int32_t& lDetailFuncID) {
  RunSwallowingWrite(
      *runtime_, context_, sDsn,
      [&](WriteRequest& request) {
        request.connection.Execute(kEnable, {Variant(lDetailFuncID)});
        BumpStamp(request.connection, request.parse, /*template_stamp=*/true);
      },
      "UpdateFuncEnable");
}

void DatasUpdate::UpdateSysBaseData(std::string_view sDsn) {
  RunSwallowingWrite(
      *runtime_, context_, sDsn,
      [&](WriteRequest& request) {
        request.connection.Execute(kMarkBaseData);
        BumpStamp(request.connection, request.parse, /*template_stamp=*/true);
      },
      "UpdateSysBaseData");
}

}  // namespace lxm

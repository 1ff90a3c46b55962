// DatasUpdate: renames of template rows. They write the base (simplified
// Chinese) column whatever the request language, never an overlay row, and
// move the template stamp even when no row matched.
#include <string>

#include "update/datas_update.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

// One parameter for the new text, then the ID.
constexpr std::string_view kTopClassName = "UPDATE t_DataFlowTopClass SET FTopClassName=? WHERE FTopClassID=?";
constexpr std::string_view kSubSystemName = "UPDATE t_DataFlowSubSystem SET FName=? WHERE FSubSysID=?";
constexpr std::string_view kSubSystemHelpFile =
    "UPDATE t_DataFlowSubSystem SET FHelpFileName=? WHERE FSubSysID=?";
constexpr std::string_view kSubFuncName = "UPDATE t_DataFlowSubFunc SET FFuncName=? WHERE FSubFuncID=?";
constexpr std::string_view kAcctTypeName = "UPDATE t_DataFlowAcctType SET FShowName=? WHERE FAcctType=?";

// Only the row whose ID and simplified Chinese name both match.
constexpr std::string_view kMarkFavourite =
    "UPDATE t_DataFlowDetailFunc SET FIsNormal=1,FHelpCode=?,FShowName=? "
    "WHERE FDetailFuncID=? AND FFuncName=?";

void RenameTemplateRow(Runtime& runtime, RequestContext& context, std::string_view sDsn,
                       std::string_view statement, const std::string& text, int32_t id) {
  RunStandardWrite(runtime, context, sDsn, [&](WriteRequest& request) {
    request.connection.Execute(statement, {Variant(text), Variant(id)});
    BumpStamp(request.connection, request.parse, /*template_stamp=*/true);
  });
}

}  // namespace

void DatasUpdate::UpdateTopClassName(std::string_view sDsn, int32_t lngTopClassID, const std::string& sNewName) {
  RenameTemplateRow(*runtime_, context_, sDsn, kTopClassName, sNewName, lngTopClassID);
}

void DatasUpdate::UpdateSystemFuncName(std::string_view sDsn, int32_t lngSystemID, const std::string& sNewName) {
  RenameTemplateRow(*runtime_, context_, sDsn, kSubSystemName, sNewName, lngSystemID);
}

void DatasUpdate::UpdateSystemHelpFile(std::string_view sDsn, int32_t lngSystemID, const std::string& sFileName) {
  RenameTemplateRow(*runtime_, context_, sDsn, kSubSystemHelpFile, sFileName, lngSystemID);
}

void DatasUpdate::UpdateSubSysFuncName(std::string_view sDsn, int32_t lngSubFuncID, const std::string& sNewName) {
  RenameTemplateRow(*runtime_, context_, sDsn, kSubFuncName, sNewName, lngSubFuncID);
}

void DatasUpdate::UpdateAcctTypeName(std::string_view sDsn, int32_t lngAcctID, const std::string& sNewName) {
  RenameTemplateRow(*runtime_, context_, sDsn, kAcctTypeName, sNewName, lngAcctID);
}

void DatasUpdate::UpdateDetailFunc(std::string_view sDsn, int32_t lDetailFuncID, const std::string& sHelpCode,
                                   const std::string& sShowName, const std::string& sFuncName) {
  RunSwallowingWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    // The statement and the stamp bump run on connections of their own; both
    // are handles on the call's transaction, so they stand or fall together.
    request.data_source.Connection().Execute(
        kMarkFavourite, {Variant(sHelpCode), Variant(sShowName), Variant(lDetailFuncID), Variant(sFuncName)});
    BumpStamp(request.data_source.Connection(), request.parse, /*template_stamp=*/true);
  });
}

}  // namespace lxm

// The public methods each class must offer through the type library, one
// signature each, as type_library_test.cc renders them:
//
//   Function Name([Optional ][ByRef ]param As Type[ = default], ...) As Type
//   Sub Name(...)                                     (returns nothing)
//
// Extend this list with every new public method (and its type library
// entry in src/server/methods_*.cc).
#ifndef LXM_TESTS_SERVER_EXPECTED_METHODS_H_
#define LXM_TESTS_SERVER_EXPECTED_METHODS_H_

#include <string_view>

namespace lxm::test {

struct ExpectedMethod {
  std::string_view prog_id;
  std::string_view signature;
};

inline constexpr std::string_view kDatasInfo = "LXMDataFlow.DatasInfo";
inline constexpr std::string_view kDatasUpdate = "LXMDataFlow.DatasUpdate";
inline constexpr std::string_view kClsDataInfo = "LXMDataFlow.clsDataInfo";

inline constexpr ExpectedMethod kExpectedMethods[] = {
    // clsDataInfo: snapshots and stamps.
    {kClsDataInfo, "Function GetTemplate(sDsn As String) As Dictionary"},
    {kClsDataInfo, "Function GetUserData(sDsn As String) As Dictionary"},
    {kClsDataInfo, "Function GetTemplateVer(sDsn As String) As String"},
    {kClsDataInfo, "Function GetUserTemplateVer(sDsn As String) As String"},

    // DatasInfo: listings.
    {kDatasInfo, "Function GetTopClass(sDsn As String) As Recordset"},
    {kDatasInfo, "Function GetTopClass_All(sDsn As String) As Recordset"},
    {kDatasInfo, "Function GetSubSystem(sDsn As String, ByRef lTopClassID As Long) As Recordset"},
    {kDatasInfo, "Function GetSubSystem_All(sDsn As String, ByRef lTopClassID As Long) As Recordset"},
    {kDatasInfo, "Function GetSubFunc(sDsn As String, ByRef lSubSysID As Long) As Recordset"},
    {kDatasInfo, "Function GetSubFunc_All(sDsn As String, ByRef lSubSysID As Long) As Recordset"},
    {kDatasInfo, "Function GetDetailFunc(sDsn As String, ByRef lSubFuncID As Long) As Recordset"},
    {kDatasInfo, "Function GetDetailFunc_All(sDsn As String, ByRef lSubFuncID As Long) As Recordset"},
    {kDatasInfo, "Function GetDetailFuncInfo(sDsn As String, ByRef lDetailFuncID As Long) As Recordset"},
    // DatasInfo: help codes.
    {kDatasInfo, "Function GetSubSystemHelp(sDsn As String, lDetailFuncID As Long) As Long"},
    // DatasInfo: favourites and help codes.
    {kDatasInfo, "Function GetNormalFuncGroup(sDsn As String) As Recordset"},
    {kDatasInfo, "Function GetNormalFunc(sDsn As String, lngGroupID As Long) As Recordset"},
    {kDatasInfo, "Function GetDetailNormalFunc(sDsn As String, lngGroupID As Long) As Recordset"},
    {kDatasInfo, "Function GetHelpCodeInfo(sDsn As String, ByRef sHelpCode As String) As Recordset"},
    // DatasInfo: pictures, patches and files of the installation.
    {kDatasInfo, "Function GetPicInfo() As Vector"},
    {kDatasInfo, "Function GetPatchLst() As Dictionary"},
    {kDatasInfo, "Function GetPatchFile(ByRef dctPatch As Dictionary) As Dictionary"},
    {kDatasInfo, "Function FileExists(strFilePath As String) As Boolean"},
    {kDatasInfo, "Function GetFileSize(strFilePath As String) As Long"},
    {kDatasInfo, "Function FileToVariant(strLocalFile As String) As Variant"},
    // DatasInfo: single-node queries.
    {kDatasInfo, "Function GetSubSysClass(sDsn As String, ByRef lID As Long, ByRef lType As Long) As String"},
    {kDatasInfo, "Function GetSubSysName(sDsn As String, ByRef lFDetailFuncID As Long) As String"},
    {kDatasInfo, "Function IsHasChild(sDsn As String, ByRef lBase As Long, ByRef lID As Long) As Boolean"},
    {kDatasInfo, "Function GetNextIndex(sDsn As String, ByRef lType As Long, ByRef lID As Long) As Long"},
    {kDatasInfo, "Function GetNextID(sDsn As String, ByRef lType As Long, ByRef lID As Long) As Long"},
    {kDatasInfo, "Function IsReFreshBaseData(sDsn As String, lngSystemID As Long) As Boolean"},
    {kDatasInfo,
     "Function GetProfileValue(sDsn As String, strName As String, ByRef oDict As Dictionary) As String"},
    {kDatasInfo, "Function IsRefreshNode(sDsn As String, ByRef lID As Long, ByRef lType As Long) As Boolean"},
    {kDatasInfo,
     "Function GetSubSystemInfo(sDsn As String, ByRef lID As Long, ByRef oDict As Dictionary) As Boolean"},
    {kDatasInfo,
     "Function IsSetEnable(sDsn As String, ByRef lID As Long, ByRef oDict As Dictionary) As Boolean"},
    {kDatasInfo, "Function GetAcctShowName(sDsn As String, strName As String) As String"},
    // DatasInfo: bulk reads and export.
    {kDatasInfo,
     "Function GetRecordset(sDsn As String, ByRef vNames As Variant, blnTemplate As Boolean) As Dictionary"},
    {kDatasInfo, "Function GetUserNormalLst(sDsn As String) As Recordset"},
    {kDatasInfo, "Function ExportUserData(sDsn As String) As Dictionary"},

    // DatasUpdate: attribute updates.
    {kDatasUpdate,
     "Sub UpdateTopClass(sDsn As String, lngTopClassID As Long, ByRef dict As Dictionary, "
     "Optional ByRef blnTemplate As Boolean = false, Optional dctInfo As Dictionary = null)"},
    {kDatasUpdate,
     "Sub UpdateSystemFunc(sDsn As String, lngSystemID As Long, ByRef dict As Dictionary, "
     "Optional ByRef blnTemplate As Boolean = false, Optional dctInfo As Dictionary = null)"},
    {kDatasUpdate,
     "Sub UpdateSubSysFunc(sDsn As String, lngSubFuncID As Long, ByRef dict As Dictionary, "
     "Optional ByRef blnTemplate As Boolean = false, Optional dctInfo As Dictionary = null)"},
    {kDatasUpdate,
     "Sub UpdateDetailFuncAttr(sDsn As String, lngDetailID As Long, ByRef dict As Dictionary, "
     "Optional ByRef blnTemplate As Boolean = false, Optional dctInfo As Dictionary = null)"},
    // DatasUpdate: renames.
    {kDatasUpdate, "Sub UpdateTopClassName(sDsn As String, lngTopClassID As Long, ByRef sNewName As String)"},
    {kDatasUpdate, "Sub UpdateSystemFuncName(sDsn As String, lngSystemID As Long, ByRef sNewName As String)"},
    {kDatasUpdate, "Sub UpdateSystemHelpFile(sDsn As String, lngSystemID As Long, ByRef sFileName As String)"},
    {kDatasUpdate, "Sub UpdateSubSysFuncName(sDsn As String, lngSubFuncID As Long, ByRef sNewName As String)"},
    {kDatasUpdate, "Sub UpdateAcctTypeName(sDsn As String, lngAcctID As Long, ByRef sNewName As String)"},
    {kDatasUpdate,
     "Sub UpdateDetailFunc(sDsn As String, ByRef lDetailFuncID As Long, ByRef sHelpCode As String, "
     "ByRef sShowName As String, ByRef sFuncName As String)"},
    // DatasUpdate: favourites and profile values.
    {kDatasUpdate,
     "Function AppendNormalItem(sDsn As String, lngFuncID As Long, strHelpCode As String, strShowName As String, "
     "strFuncName As String, lngFuncGroupID As Long) As Boolean"},
    {kDatasUpdate,
     "Sub AddNormalItem(sDsn As String, lngFuncID As Long, strHelpCode As String, strShowName As String, "
     "strFuncName As String, lngFuncGroupID As Long)"},
    {kDatasUpdate, "Sub DelNormalFunc(sDsn As String, ByRef lDetailFuncID As Long)"},
    {kDatasUpdate, "Sub ClearNormalList(sDsn As String, Optional lngFuncGroupID As Long = -1)"},
    {kDatasUpdate,
     "Sub AddNormalFuncGroup(sDsn As String, strFuncGroupName As String, Optional strShowName As String = \"\")"},
    {kDatasUpdate, "Sub DelNormalFuncGroup(sDsn As String, lngFuncGroupID As Long)"},
    {kDatasUpdate, "Sub UpdateNormalFuncGroup(sDsn As String, lngGroupID As Long, strName As String)"},
    {kDatasUpdate, "Sub SetDetailFuncNotNormal(sDsn As String)"},
    {kDatasUpdate, "Sub SetProfileValue(sDsn As String, strName As String, strValue As String)"},
    // DatasUpdate: commands and component registration.
    {kDatasUpdate, "Sub ExecCmd(ByRef cmdline As String)"},
    {kDatasUpdate, "Function GetActiveXFilePath(strProgID As String, Optional bInProcess As Boolean = true) As String"},
    {kDatasUpdate, "Function RegMiddle(sR8Version As Variant) As Boolean"},
    // DatasUpdate: tree administration.
    {kDatasUpdate,
     "Function CreateSubSys(sDsn As String, ByRef lTopClassID As Long, ByRef lIndex As Long, "
     "ByRef oDict As Dictionary, Optional ByRef blnTemplate As Boolean = false) As Long"},
    {kDatasUpdate,
     "Function CreateTopClass(sDsn As String, ByRef lIndex As Long, ByRef oDict As Dictionary, "
     "Optional ByRef blnTemplate As Boolean = false) As Long"},
    {kDatasUpdate,
     "Sub DeleteItem(sDsn As String, ByRef lBase As Long, ByRef lID As Long, "
     "Optional ByRef blnTemplate As Boolean = false)"},
    {kDatasUpdate, "Sub SetDefault(sDsn As String)"},
    {kDatasUpdate,
     "Function ApplyAllUser(sDsn As String, vctUser As Vector, Optional dctInfo As Dictionary = null) "
     "As Boolean"},
    // DatasUpdate: detail-function synchronisation and creation.
    {kDatasUpdate,
     "Sub RefreshDetailFunc(sDsn As String, lSubFuncID As Long, oVect As Vector, "
     "Optional bDelAll As Boolean = true, Optional ByRef blnTemplate As Boolean = true)"},
    {kDatasUpdate,
     "Sub CreateDetailFunc(sDsn As String, lSubFuncID As Long, lIndex As Long, oDict As Dictionary, "
     "Optional blnTemplate As Boolean = false)"},
    {kDatasUpdate,
     "Function CreateSubFunc(sDsn As String, lSubSystemID As Long, lIndex As Long, oDict As Dictionary, "
     "Optional blnTemplate As Boolean = false) As Long"},
    // DatasUpdate: import of a user layout.
    {kDatasUpdate, "Sub ImportUserData(sDsn As String, oDict As Dictionary)"},
    // DatasUpdate: refresh from subsystem components, enable flags.
    {kDatasUpdate,
     "Sub RefreshSubFunc(sDsn As String, lSubSystemID As Long, oVect As Vector, "
     "Optional bDelAll As Boolean = true, Optional ByRef blnTemplate As Boolean = true)"},
    {kDatasUpdate, "Sub RefreshActivFunc(sDsn As String)"},
    {kDatasUpdate, "Sub ReFreshStatus(sDsn As String, ByRef lSubFuncID As Long, ByRef lStatus As Long)"},
    {kDatasUpdate, "Sub UpdateFuncEnable(sDsn As String, ByRef lDetailFuncID As Long)"},
    {kDatasUpdate, "Sub UpdateSysBaseData(sDsn As String)"},
};

}  // namespace lxm::test

#endif  // LXM_TESTS_SERVER_EXPECTED_METHODS_H_

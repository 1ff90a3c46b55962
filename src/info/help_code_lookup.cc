// DatasInfo::GetHelpCodeInfo: every function a help code names for the
// caller, from six sources in order of precedence.
#include "core/globals.h"
#include "info/datas_info.h"
#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

constexpr std::string_view kSource = "LxmDataFlow.DatasInfo:GetHelpCodeInfo";

constexpr std::string_view kServicePack =
    "select FValue from t_systemprofile where FCategory='Base' and FKey='ServicePack'";

// Help codes compare as the account databases compare texts: letter case and
// trailing blanks ignored. The same expression is indexed in the schema.
#define LXM_CODE(column) "UPPER(RTRIM(" column "))=UPPER(RTRIM(?))"

// Sources 1 and 2 (overlay functions among the favourites, template
// attributes fixed) share their columns; so do sources 4 and 5 (overlay
// functions by their own code, completed from the template).
#define LXM_FAVOURITE_OVERLAY \
    "c.FSubSysID,b.FHelpCode as FHelpCode1,a.FHelpCode,a.FDetailFuncID,a.FFuncName," \
    "a.FFuncName_CHT,a.FFuncName_EN,a.FSubFuncID,a.FIndex,a.FClassName,a.FClassParam,a.FVisible,a.FEnable\r\n" \
    ",1 FIsNormal,CAST('' AS VARCHAR(510)) FAcctType,0 FFuncType,CAST('' AS VARCHAR(100)) FShowName," \
    "CAST('' AS VARCHAR(100)) FShowName_CHT,CAST('' AS VARCHAR(100)) FShowName_EN,1 FIsEdit\r\n" \
    "From t_UserDetailFunc a \r\n"
#define LXM_OWN_CODE_OVERLAY \
    "c.FSubSysID,a.FHelpCode as FHelpCode1,a.FHelpCode,a.FDetailFuncID,a.FFuncName," \
    "a.FFuncName_CHT,a.FFuncName_EN,a.FSubFuncID,a.FIndex,COALESCE(a.FClassName,d.FClassName)," \
    "COALESCE(a.FClassParam,d.FClassParam),a.FVisible,a.FEnable\r\n" \
    ",d.FIsNormal,d.FAcctType,COALESCE(d.FFuncType,0),d.FShowName,d.FShowName_CHT,d.FShowName_EN,d.FIsEdit\r\n" \
    "From  t_UserDetailFunc a \r\n" \
    "left join  t_userSubfunc c on a.FSubFuncID=c.FSubFuncID \r\n" \
    "left join  t_DataFlowDetailFunc d on a.FDetailFuncID=d.FDetailFuncID \r\n"

// Parameters, in order: U, H (source 1); U, H (2); U, H (3); U, H (4);
// H, U (5); H, ",A," pattern, U (6).
constexpr std::string_view kLookup =
    "Select e.* from (\r\n"
    // 1: the user's own overlay functions among the user's favourites.
    "Select 1 FOrderIndex," LXM_FAVOURITE_OVERLAY
    "inner join t_NormalFunc b ON a.FUserID=b.FUserID and b.FUserID =? and a.FDetailFuncID =b.FDetailFuncID \r\n"
    "left join  t_userSubfunc c on a.FSubFuncID=c.FSubFuncID \r\n"
    "Where a.FVisible = 1 and " LXM_CODE("b.FHelpCode") "\r\n"
    "union all\r\n"
    // 2: the default overlay functions among the user's favourites.
    "Select 2 FOrderIndex," LXM_FAVOURITE_OVERLAY
    "inner join t_NormalFunc b ON a.FUserID=0 and b.FUserID =? and a.FDetailFuncID =b.FDetailFuncID \r\n"
    "left join  t_userSubfunc c on a.FSubFuncID=c.FSubFuncID \r\n"
    "Where a.FVisible = 1 and " LXM_CODE("b.FHelpCode") "\r\n"
    "union all\r\n"
    // 3: template functions among the user's favourites, enabled and visible.
    "Select 3 FOrderIndex,c.FSubsysID,b.FHelpCode as FHelpCode1,a.FHelpCode,a.FDetailFuncID,a.FFuncName,"
    "a.FFuncName_CHT,a.FFuncName_EN,a.FSubFuncID,a.FIndex,a.FClassName,a.FClassParam,a.FVisible,a.FEnable\r\n"
    ",a.FIsNormal,a.FAcctType,a.FFuncType,a.FShowName,a.FShowName_CHT,a.FShowName_EN,a.FIsEdit\r\n"
    "From t_DataFlowDetailFunc a\r\n"
    "inner join t_NormalFunc b on b.FUserID =? and a.FDetailFuncID = b.FDetailFuncID \r\n"
    "inner join t_DataFlowSubFunc c on a.FSubFuncID=c.FSubFuncID\r\n"
    "Where a.FEnable=1 And a.FVisible=1 and " LXM_CODE("b.FHelpCode") "\r\n"
    "union all\r\n"
    // 4: the user's own overlay functions by their own code, completed from
    // the template.
    "Select 4 FOrderIndex," LXM_OWN_CODE_OVERLAY
    "Where a.FUserID=? and a.FVisible = 1 and " LXM_CODE("a.FHelpCode") "\r\n"
    "union all\r\n"
    // 5: the default overlay functions by their own code, not overridden by
    // the user.
    "Select 5 FOrderIndex," LXM_OWN_CODE_OVERLAY
    "Where a.FUserID=0 and a.FVisible = 1 and " LXM_CODE("a.FHelpCode") "\r\n"
    "and a.FDetailFuncID not in (select FDetailFuncID from t_UserDetailFunc where FUserID=?)\r\n"
    "union all\r\n"
    // 6: template functions by their own code, enabled, visible, of the
    // installed account type, and in no overlay row of the user or default.
    "Select 6 FOrderIndex,c.FSubsysID,a.FHelpCode as FHelpCode1,a.FHelpCode,a.FDetailFuncID,a.FFuncName,"
    "a.FFuncName_CHT,a.FFuncName_EN,a.FSubFuncID,a.FIndex,a.FClassName,a.FClassParam,a.FVisible,a.FEnable\r\n"
    ",a.FIsNormal,a.FAcctType,a.FFuncType,a.FShowName,a.FShowName_CHT,a.FShowName_EN,a.FIsEdit\r\n"
    "From t_DataFlowDetailFunc a\r\n"
    "inner join t_DataFlowSubFunc c on a.FSubFuncID=c.FSubFuncID\r\n"
    "inner join t_DataFlowSubSystem d on c.FSubsysID=d.FSubSysID  \r\n"
    "Where a.FEnable=1 And a.FVisible=1 and " LXM_CODE("a.FHelpCode") "\r\n"
    "And (COALESCE(RTRIM(a.FAcctType),'')='' or a.FAcctType Like ?)\r\n"
    "and a.FDetailFuncID not in (select distinct FDetailFuncID from t_UserDetailFunc where FUserID=0 or "
    "FUserID=?)\r\n"
    // Within a source the rows come in a stable order.
    ") e order by FOrderIndex,FDetailFuncID,FSubSysID\r\n";

// Every column typed by the statement: most are literals or come from a
// UNION, which the engine cannot type when no row comes back.
constexpr ColumnType kLookupTypes[] = {
    {"FOrderIndex", FieldType::kInteger},   {"FSubSysID", FieldType::kInteger},
    {"FHelpCode1", FieldType::kVarWChar},   {"FHelpCode", FieldType::kVarWChar},
    {"FDetailFuncID", FieldType::kInteger}, {"FFuncName", FieldType::kVarWChar},
    {"FFuncName_CHT", FieldType::kVarWChar}, {"FFuncName_EN", FieldType::kVarWChar},
    {"FSubFuncID", FieldType::kInteger},    {"FIndex", FieldType::kInteger},
    {"FClassName", FieldType::kVarWChar},   {"FClassParam", FieldType::kVarWChar},
    {"FVisible", FieldType::kInteger},      {"FEnable", FieldType::kInteger},
    {"FIsNormal", FieldType::kInteger},     {"FAcctType", FieldType::kVarWChar},
    {"FFuncType", FieldType::kInteger},     {"FShowName", FieldType::kVarWChar},
    {"FShowName_CHT", FieldType::kVarWChar}, {"FShowName_EN", FieldType::kVarWChar},
    {"FIsEdit", FieldType::kInteger},
};

#undef LXM_CODE
#undef LXM_FAVOURITE_OVERLAY
#undef LXM_OWN_CODE_OVERLAY

// Characters 5 and 6 of the 'ServicePack' value, as a number in decimal.
std::string InstalledAccountType(DbConnection& connection) {
  Recordset rs = connection.Query(kServicePack);
  if (rs.Eof()) {
    throw NoCurrentRecordError();
  }
  const Variant& value = rs.Value(size_t{0});
  if (value.IsNull()) throw RuntimeError(errors::kInvalidUseOfNull);
  std::string text = CStr(value);
  // Mid(text, 5, 2), by characters: '版本.X01' gives "01".
  return std::to_string(CLng(Variant(MidChars(text, 5, 2))));
}

}  // namespace

Recordset DatasInfo::GetHelpCodeInfo(std::string_view sDsn, std::string& sHelpCode) {
  try {
    return RunInCallScope(*runtime_, false, [&] {
      GetObjectContext().SetComplete();
      PrepareContext(sDsn);
      DbConnection connection = context_.data_source->UncommitedConnection();
      std::string account_type = InstalledAccountType(connection);
      Variant user(CurrentUserID(*context_.data_source));
      Variant code(sHelpCode);
      Params params = {user, code, user, code, user, code, user, code, code, user,
                       code, Variant("%," + account_type + ",%"), user};
      return connection.Query(kLookup, params, kLookupTypes);
    });
  } catch (const ComError& error) {
    throw error.WithSource(std::string(kSource));
  }
}

}  // namespace lxm

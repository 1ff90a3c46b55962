// DatasInfo's favourite reads: the caller's groups, a group's raw items, and
// a group's items joined with the functions they name, in tree order. They
// read the tables directly; the level cache is not involved.
#include "core/globals.h"
#include "info/datas_info.h"
#include "platform/call_scope.h"

namespace lxm {

namespace {

constexpr std::string_view kGroups = "SELECT * FROM t_NormalFuncGroup WHERE FUserID =?";
constexpr std::string_view kItems = "SELECT * FROM t_NormalFunc WHERE FFuncGroupID =?";

// Template favourites outside sub-functions 701..799 with the template's
// attributes and the request language's name; overlay favourites (the user's
// own rows, user-created or under 701..799) with fixed attributes and the
// base name. UNION drops identical rows; only functions whose sub-function
// and subsystem exist in the template are kept.
std::string DetailItemsStatement(std::string_view language_id) {
  std::string name = LanguageColumn("a.FFuncName", language_id);
  return "select t1.* from (\r\n"
         " SELECT a.FDetailFuncID," + name + " as FFuncName ,a.FSubFuncID,a.FIndex\r\n"
         " ,a.FClassName,a.FClassParam,a.FIsNormal,a.FVisible,a.FAcctType,a.FFuncType,a.FEnable,"
         "b.FShowName,b.FHelpCode \r\n"
         " FROM t_DataFlowDetailFunc a INNER JOIN t_NormalFunc b ON a.FDetailFuncID = b.FDetailFuncID "
         " WHERE  not (a.FSubFuncID >=701 AND a.FSubFuncID<=799)  AND b.FUserID=? AND b.FFuncGroupID = ?\r\n"
         " UNION \r\n"
         " SELECT a.FDetailFuncID,a.FFuncName as FFuncName ,a.FSubFuncID,a.FIndex,a.FClassName,"
         "a.FClassParam,0,a.FVisible,'',-1,a.FEnable,b.FShowName,b.FHelpCode \r\n"
         " FROM t_UserDetailFunc a INNER JOIN t_NormalFunc b ON a.FDetailFuncID = b.FDetailFuncID "
         "AND a.FUserID= b.FUserID \r\n"
         " WHERE  b.FUserID=? AND b.FFuncGroupID = ?\r\n"
         " AND (b.FDetailFuncID >= 1000000000 OR (a.FSubFuncID >=701 AND a.FSubFuncID<=799))\r\n"
         ") t1 INNER JOIN t_DataFlowSubFunc c ON t1.FSubFuncID = c.FSubFuncID \r\n"
         " INNER JOIN t_DataFlowSubsystem d ON c.FSubsysID = d.FSubsysID \r\n"
         " order by d.FTopClassID,d.FSubSysID,t1.FSubFuncID,t1.FIndex";
}

// The columns come from a UNION, which the engine cannot type when no row
// comes back; the statement types them all.
constexpr ColumnType kDetailItemTypes[] = {
    {"FDetailFuncID", FieldType::kInteger}, {"FFuncName", FieldType::kVarWChar},
    {"FSubFuncID", FieldType::kInteger},    {"FIndex", FieldType::kInteger},
    {"FClassName", FieldType::kVarWChar},   {"FClassParam", FieldType::kVarWChar},
    {"FIsNormal", FieldType::kInteger},     {"FVisible", FieldType::kInteger},
    {"FAcctType", FieldType::kVarWChar},    {"FFuncType", FieldType::kInteger},
    {"FEnable", FieldType::kInteger},       {"FShowName", FieldType::kVarWChar},
    {"FHelpCode", FieldType::kVarWChar},
};

}  // namespace

Recordset DatasInfo::ReadFavourites(std::string_view sDsn,
                                    const std::function<Recordset(DbConnection&, int32_t)>& read) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    PrepareContext(sDsn);
    DbConnection connection = context_.data_source->UncommitedConnection();
    return read(connection, CurrentUserID(*context_.data_source));
  });
}

Recordset DatasInfo::GetNormalFuncGroup(std::string_view sDsn) {
  return ReadFavourites(sDsn, [](DbConnection& connection, int32_t user_id) {
    return connection.Query(kGroups, {Variant(user_id)});
  });
}

Recordset DatasInfo::GetNormalFunc(std::string_view sDsn, int32_t lngGroupID) {
  return ReadFavourites(sDsn, [&](DbConnection& connection, int32_t) {
    return connection.Query(kItems, {Variant(lngGroupID)});
  });
}

Recordset DatasInfo::GetDetailNormalFunc(std::string_view sDsn, int32_t lngGroupID) {
  return ReadFavourites(sDsn, [&](DbConnection& connection, int32_t user_id) {
    std::string sql = DetailItemsStatement(context_.parse->LanguageID());
    return connection.Query(sql, {Variant(user_id), Variant(lngGroupID), Variant(user_id),
                                  Variant(lngGroupID)},
                            kDetailItemTypes);
  });
}

}  // namespace lxm

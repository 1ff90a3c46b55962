// SyncClassParamItem: one detail function of sub-function 600201, matched by
// class parameter and numbered from the greatest existing ID.
#include <cstdlib>
#include <string>

#include "platform/com_error.h"
#include "platform/convert.h"
#include "update/detail_items.h"
#include "update/detail_statements.h"
#include "update/item_values.h"

namespace lxm::detail_items {

namespace {

// The ID, marked (negative) or not: its absolute value and its negation.
constexpr std::string_view kTemplateRowByID =
    "SELECT FDetailFuncID FROM t_DataFlowDetailFunc WHERE FDetailFuncID IN (?,?)";
// Sub-function, class parameter.
constexpr std::string_view kTemplateRowByClassParam =
    "SELECT FDetailFuncID FROM t_DataFlowDetailFunc WHERE FSubFuncID=? "
    "AND UPPER(RTRIM(FClassParam))=UPPER(RTRIM(?)) ORDER BY abs(FDetailFuncID)";
// A template row before one of the user's. Sub-function, class parameter
// (twice), user.
constexpr std::string_view kAnyRowByClassParam =
    "SELECT FDetailFuncID FROM ("
    "SELECT 1 AS FOrder, FDetailFuncID FROM t_DataFlowDetailFunc WHERE FSubFuncID=? "
    "AND UPPER(RTRIM(FClassParam))=UPPER(RTRIM(?)) "
    "UNION SELECT 2 AS FOrder, FDetailFuncID FROM t_UserDetailFunc WHERE FSubFuncID=? "
    "AND UPPER(RTRIM(FClassParam))=UPPER(RTRIM(?)) AND FUserID=?) t1 ORDER BY FOrder, abs(FDetailFuncID)";
// Marked rows count with their absolute value. Sub-function, last ID.
constexpr std::string_view kNextClassParamID =
    "SELECT max(abs(FDetailFuncID))+1 AS FDetailFuncID FROM t_DataFlowDetailFunc "
    "WHERE FSubFuncID=? AND FDetailFuncID<=?";
// Three names, the ID and its negation.
constexpr std::string_view kRenameTemplateRow =
    "UPDATE t_DataFlowDetailFunc SET FFuncName=?,FFuncName_CHT=?,FFuncName_EN=? WHERE FDetailFuncID IN (?,?)";
// The marked ID.
constexpr std::string_view kUnmarkTemplateRow =
    "UPDATE t_DataFlowDetailFunc SET FDetailFuncID=-FDetailFuncID WHERE FDetailFuncID=?";
constexpr std::string_view kDeleteTemplateRow = "DELETE FROM t_DataFlowDetailFunc WHERE FDetailFuncID=?";
constexpr std::string_view kDeleteOwnRow = "DELETE FROM t_UserDetailFunc WHERE FDetailFuncID=? AND FUserID=?";

// Class parameters above this get their names refreshed in the template.
constexpr double kRenamedClassParamAbove = 3000;

int32_t FirstID(const Recordset& rows) { return rows.Eof() ? 0 : CLng(rows.Value("FDetailFuncID")); }

// One more than the greatest ID in use; Null (no row) fails by CLng's rule.
int32_t MakeID(const DbConnection& connection, int32_t sub_func_id) {
  Recordset next = connection.Query(kNextClassParamID, {Variant(sub_func_id), Variant(kLastClassParamID)});
  int32_t id = CLng(next.Value("FDetailFuncID"));
  if (id > kLastClassParamID) {
    // The next ID belongs to no replaceable function: refuse rather than
    // overwrite whatever holds it.
    throw ComError(errors::kDivisionByZero, ":SyncClassParamItem",
                   "No detail-function ID is left up to " + std::to_string(kLastClassParamID) + " under " +
                       std::to_string(sub_func_id) + ".");
  }
  return id;
}

}  // namespace

int32_t SyncClassParamItem(const WriteRequest& request, int32_t sub_func_id, int32_t index, const Dictionary& item,
                           bool template_mode) {
  const DbConnection& connection = request.connection;
  // The caller's ID is needed in overlay mode only.
  auto user_id = [&] { return request.parse.UserID(); };
  const int32_t given = ItemLong(item, "FDetailFuncID", 0);
  const Variant class_param = item.ValueOr("FClassParam", Variant(0));
  const Variant class_param_text(class_param.IsNull() ? std::string() : CStr(class_param));

  int32_t found = 0;
  if (template_mode) {
    if (given != 0) {
      const int32_t absolute = given < 0 ? CheckedSub(0, given) : given;
      found = FirstID(connection.Query(kTemplateRowByID, {Variant(absolute), Variant(-absolute)}));
    } else {
      found = FirstID(connection.Query(kTemplateRowByClassParam, {Variant(sub_func_id), class_param_text}));
    }
  } else {
    found = given != 0 ? given
                       : FirstID(connection.Query(kAnyRowByClassParam,
                                                  {Variant(sub_func_id), class_param_text, Variant(sub_func_id),
                                                   class_param_text, Variant(user_id())}));
  }

  const std::string name = ItemText(item, "FFuncName", " ");
  const std::string name_cht = ItemText(item, "FFuncName_CHT", " ");
  const std::string name_en = ItemText(item, "FFuncName_EN", " ");
  const std::string class_name = ItemText(item, "FClassName", " ");
  const std::string class_param_value = ItemText(item, "FClassParam", " ");
  const std::string help_code = ItemText(item, "FHelpCode", " ");
  const int32_t visible = ItemFlag(item, "FVisible", Variant(true));

  if (template_mode && found != 0) {
    // The row stays under its ID and is unmarked.
    const int32_t id = found < 0 ? CheckedSub(0, found) : found;
    if (CDbl(class_param) > kRenamedClassParamAbove) {
      connection.Execute(kRenameTemplateRow,
                         {Variant(ItemText(item, "FFuncName", "")), Variant(ItemText(item, "FFuncName_CHT", "")),
                          Variant(ItemText(item, "FFuncName_EN", "")), Variant(id), Variant(-id)});
    }
    connection.Execute(kUnmarkTemplateRow, {Variant(-id)});
    return id;
  }

  int32_t new_id = 0;
  if (found != 0) {
    new_id = found < 0 ? CheckedSub(0, found) : found;
  } else if (given != 0) {
    new_id = given;
  } else {
    new_id = MakeID(connection, sub_func_id);
  }
  if (template_mode) {
    connection.Execute(kDeleteTemplateRow, {Variant(new_id)});
    connection.Execute(kInsertTemplateDetail, {Variant(new_id), Variant(sub_func_id), Variant(name), Variant(name_cht),
                                               Variant(name_en), Variant(class_name), Variant(class_param_value),
                                               Variant(ItemFlag(item, "FIsNormal", Variant(false))), Variant(help_code),
                                               Variant(visible), Variant(ItemText(item, "FAcctType", " ")),
                                               Variant(ItemLong(item, "FFuncType", 0)), Variant(index)});
  } else {
    connection.Execute(kDeleteOwnRow, {Variant(new_id), Variant(user_id())});
    connection.Execute(
        kInsertOwnDetail,
        {Variant(new_id), Variant(sub_func_id), Variant(user_id()), Variant(name), Variant(name_cht), Variant(name_en),
         Variant(class_name), Variant(class_param_value), Variant(visible), Variant(index), Variant(help_code)});
    connection.Execute(kCopyTemplateNames,
                       {Variant(sub_func_id), Variant(ItemText(item, "FClassParam", "")), Variant(user_id())});
  }
  return new_id;
}

}  // namespace lxm::detail_items

// UpdateDetailFlags: the visible and enabled flags of one template detail
// function, and the account types of its flow-chart nodes.
#include "platform/com_error.h"
#include "update/detail_items.h"
#include "update/item_values.h"

namespace lxm::detail_items {

namespace {

constexpr std::string_view kSetVisible = "UPDATE t_DataFlowDetailFunc SET FVisible=? WHERE FDetailFuncID=?";
constexpr std::string_view kSetEnable = "UPDATE t_DataFlowDetailFunc SET FEnable=? WHERE FDetailFuncID=?";
constexpr std::string_view kSetBoth = "UPDATE t_DataFlowDetailFunc SET FVisible=?,FEnable=? WHERE FDetailFuncID=?";
// Only nodes whose detail function exists change.
constexpr std::string_view kShowInFlowChart =
    "UPDATE t_base_FlowChartTree SET FacctType=t2.FAcctType FROM t_DataFlowDetailFunc t2 "
    "WHERE t_base_FlowChartTree.FDetailFuncID=t2.FDetailFuncID AND t_base_FlowChartTree.FDetailFuncID=?";
// ",0," names no account type: a hidden function's node applies to none.
constexpr std::string_view kHideInFlowChart =
    "UPDATE t_base_FlowChartTree SET FacctType=',0,' WHERE FDetailFuncID=? "
    "AND EXISTS(SELECT 1 FROM t_DataFlowDetailFunc t2 WHERE t2.FDetailFuncID=t_base_FlowChartTree.FDetailFuncID)";

}  // namespace

void UpdateDetailFlags(const WriteRequest& request, const Dictionary& item) {
  const bool has_visible = item.Exists("FVisible");
  const bool has_enable = item.Exists("FEnable");
  if (!has_visible && !has_enable) {
    throw ComError(errors::kInvalidCall, ":UpdateDetailFlags", "The item names neither FVisible nor FEnable.");
  }
  const Variant id(ItemLong(item, "FDetailFuncID", 0));
  const int32_t visible = has_visible ? ItemFlag(item, "FVisible", Variant(true)) : 0;
  const int32_t enable = has_enable ? ItemFlag(item, "FEnable", Variant(true)) : 0;
  const DbConnection& connection = request.connection;
  if (has_visible && has_enable) {
    connection.Execute(kSetBoth, {Variant(visible), Variant(enable), id});
  } else if (has_visible) {
    connection.Execute(kSetVisible, {Variant(visible), id});
  } else {
    connection.Execute(kSetEnable, {Variant(enable), id});
  }
  if (has_visible) connection.Execute(visible == 1 ? kShowInFlowChart : kHideInFlowChart, {id});
}

}  // namespace lxm::detail_items

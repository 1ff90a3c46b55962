// DatasUpdate::RefreshDetailFunc: brings a sub-function's detail functions in
// the template or the caller's overlay in line with a list, by mark and
// sweep, or switches only their flags.
#include <cstdint>
#include <vector>

#include "platform/com_error.h"
#include "platform/convert.h"
#include "update/datas_update.h"
#include "update/detail_items.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

using detail_items::kClassParamSubFunc;
using detail_items::kFirstUserDetailID;
using detail_items::kLastClassParamID;
using detail_items::kLastFixedClassParamID;

constexpr std::string_view kRefreshSource = "LXMDataFlow.DatasUpdate.RefreshDetailFunc";

// Items past this position are ignored.
constexpr int32_t kPositionLimit = 100;

// Marks. The template's rows of an ordinary sub-function are deleted at
// once; only a sub-function the template has is touched. Sub-function twice.
constexpr std::string_view kDeleteTemplateRows =
    "DELETE FROM t_DataFlowDetailFunc WHERE FSubFuncID=? "
    "AND EXISTS(SELECT 1 FROM t_DataFlowSubFunc WHERE FSubFuncID=?)";
// Sub-function, range (exclusive, inclusive), sub-function.
constexpr std::string_view kMarkTemplateRange =
    "UPDATE t_DataFlowDetailFunc SET FDetailFuncID=-FDetailFuncID WHERE FSubFuncID=? "
    "AND FDetailFuncID>? AND FDetailFuncID<=? AND EXISTS(SELECT 1 FROM t_DataFlowSubFunc WHERE FSubFuncID=?)";
// Sub-function, first user-created ID.
constexpr std::string_view kUsersWithRows =
    "SELECT DISTINCT FUserID FROM t_UserDetailFunc WHERE FSubFuncID=? AND FDetailFuncID<?";
constexpr std::string_view kMarkEveryUsersRows =
    "UPDATE t_UserDetailFunc SET FDetailFuncID=-FDetailFuncID WHERE FSubFuncID=? AND FDetailFuncID<?";
// Sub-function, first user-created ID, user.
constexpr std::string_view kMarkOwnRows =
    "UPDATE t_UserDetailFunc SET FDetailFuncID=-FDetailFuncID WHERE FSubFuncID=? AND FDetailFuncID<? "
    "AND FUserID=?";
// Every favourite of the user, whatever its sub-function. User.
constexpr std::string_view kMarkFavourites = "UPDATE t_NormalFunc SET FDetailFuncID=-FDetailFuncID WHERE FUserID=?";
// The sweep: whatever is still marked, whoever marked it.
constexpr std::string_view kSweepTemplate = "DELETE FROM t_DataFlowDetailFunc WHERE FDetailFuncID<0";
constexpr std::string_view kSweepOverlay = "DELETE FROM t_UserDetailFunc WHERE FDetailFuncID<0";
// Favourites nobody re-pointed get their old IDs back. User.
constexpr std::string_view kRestoreFavourites =
    "UPDATE t_NormalFunc SET FDetailFuncID=-FDetailFuncID WHERE FDetailFuncID<0 AND FUserID=?";
constexpr std::string_view kDropMarkedFavourites = "DELETE FROM t_NormalFunc WHERE FDetailFuncID<0 AND FUserID=?";

const Vector& RequireList(const std::shared_ptr<Vector>& list) {
  if (list == nullptr) throw ComError(errors::kInvalidCall, ":RefreshDetailFunc", "The item list is Nothing.");
  return *list;
}

// Flags only: the template's flags, whatever the mode.
void SyncFlags(const WriteRequest& request, const Vector& list, bool template_mode) {
  for (const Variant& entry : list.items()) {
    detail_items::UpdateDetailFlags(request, detail_items::AsItem(entry));
  }
  BumpStamp(request.connection, request.parse, /*template_stamp=*/true);
  if (!template_mode) BumpStamp(request.connection, request.parse, /*template_stamp=*/false);
}

// Mark and sweep.
void SyncAll(const WriteRequest& request, int32_t sub_func_id, const Vector& list, bool template_mode) {
  const DbConnection& connection = request.connection;
  const Variant sub_func(sub_func_id);
  const Variant user(request.parse.UserID());
  const bool by_class_param = sub_func_id == kClassParamSubFunc;

  // Users whose overlay rows a template synchronisation of 600201 removes.
  std::vector<int32_t> users_losing_rows;
  if (!template_mode) {
    connection.Execute(kMarkOwnRows, {sub_func, Variant(kFirstUserDetailID), user});
  } else if (!by_class_param) {
    connection.Execute(kDeleteTemplateRows, {sub_func, sub_func});
  } else {
    connection.Execute(kMarkTemplateRange,
                       {sub_func, Variant(kLastFixedClassParamID), Variant(kLastClassParamID), sub_func});
    for (Recordset users = connection.Query(kUsersWithRows, {sub_func, Variant(kFirstUserDetailID)}); !users.Eof();
         users.MoveNext()) {
      users_losing_rows.push_back(CLng(users.Value("FUserID")));
    }
    connection.Execute(kMarkEveryUsersRows, {sub_func, Variant(kFirstUserDetailID)});
  }
  connection.Execute(kMarkFavourites, {user});

  int32_t position = by_class_param ? 8 : 1;
  for (const Variant& entry : list.items()) {
    const Dictionary& item = detail_items::AsItem(entry);
    if (by_class_param) {
      detail_items::SyncClassParamItem(request, sub_func_id, position, item, template_mode);
    } else {
      detail_items::SyncNamedItem(request, sub_func_id, position, item, template_mode);
    }
    if (++position == kPositionLimit) break;
  }

  connection.Execute(kSweepTemplate);
  connection.Execute(kSweepOverlay);
  // Restore first: a favourite may only go when it could not be restored,
  // and then the whole call fails instead.
  connection.Execute(kRestoreFavourites, {user});
  connection.Execute(kDropMarkedFavourites, {user});

  BumpStamp(connection, request.parse, template_mode);
  for (int32_t user_id : users_losing_rows) BumpUserStamp(connection, user_id);
}

}  // namespace

void DatasUpdate::RefreshDetailFunc(std::string_view sDsn, int32_t lSubFuncID, const std::shared_ptr<Vector>& oVect,
                                    bool bDelAll, bool blnTemplate) {
  try {
    RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
      const Vector& list = RequireList(oVect);
      if (bDelAll) {
        SyncAll(request, lSubFuncID, list, blnTemplate);
      } else {
        SyncFlags(request, list, blnTemplate);
      }
    });
  } catch (const ComError& error) {
    throw ComError(errors::kDivisionByZero, std::string(kRefreshSource), error.description());
  }
}

}  // namespace lxm

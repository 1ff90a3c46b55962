// DatasUpdate: a user's favourite groups and items. Favourites are read by
// SQL, not through the level cache, so most of these writes bump no stamp.
#include "core/globals.h"
#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "platform/text_util.h"
#include "update/datas_update.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

// The default group: the user's group with the smallest ID, made with the
// request language's name when the user has none.
constexpr std::string_view kAddDefaultGroup =
    "INSERT INTO t_NormalFuncGroup(FUserID,FFuncGroupName) SELECT ?, ? "
    "WHERE NOT EXISTS(SELECT 1 FROM t_NormalFuncGroup WHERE FUserID = ?)";
// The item goes into the default group unless it is there already.
constexpr std::string_view kAddToDefaultGroup =
    "INSERT INTO t_NormalFunc (FFuncGroupID,FUserID,FDetailFuncID,FHelpCode, FShowName, FFuncName) "
    "SELECT g.FFuncGroupID, ?, ?, ?, ?, ? FROM "
    "(SELECT min(FFuncGroupID) FFuncGroupID FROM t_NormalFuncGroup WHERE FUserID = ?) g "
    "WHERE g.FFuncGroupID IS NOT NULL AND NOT EXISTS(SELECT 1 FROM t_NormalFunc "
    "WHERE FUserID = ? AND FFuncGroupID = g.FFuncGroupID AND FDetailFuncID = ?)";
// With a group named, no duplicate test and no owner test.
constexpr std::string_view kAddToGroup =
    "INSERT INTO t_NormalFunc (FFuncGroupID,FUserID,FDetailFuncID,FHelpCode, FShowName, FFuncName) "
    "VALUES (?, ?, ?, ?, ?, ?)";
constexpr std::string_view kDeleteFunction = "DELETE From t_NormalFunc Where FDetailFuncID = ?";
constexpr std::string_view kClearAll = "DELETE FROM t_NormalFunc WHERE FUserID = ?";
constexpr std::string_view kClearGroup = "DELETE FROM t_NormalFunc WHERE FUserID = ? AND FFuncGroupID = ?";
// Group names compare as the account databases compare texts: letter case
// and trailing blanks ignored.
constexpr std::string_view kFindGroup =
    "SELECT * FROM t_NormalFuncGroup WHERE FUserID = ? AND UPPER(RTRIM(FFuncGroupName)) = UPPER(RTRIM(?))";
constexpr std::string_view kAddGroup =
    "INSERT INTO t_NormalFuncGroup(FUserID,FFuncGroupName,FShowName) VALUES (?, ?, ?)";
constexpr std::string_view kDeleteGroup = "DELETE FROM t_NormalFuncGroup WHERE FFuncGroupID = ?";
constexpr std::string_view kRenameGroup = "UPDATE t_NormalFuncGroup SET FFuncGroupName = ? WHERE FFuncGroupID = ?";
constexpr std::string_view kClearFavouriteMarks = "Update t_DataFlowDetailFunc Set FIsNormal=0";

constexpr std::string_view kDefaultGroupName = "常用功能组";
constexpr std::string_view kGroupExistsText = "功能组已存在";
constexpr std::string_view kGroupExistsSource = "LxmDataFlow.AddNormalFuncGroup";

}  // namespace

bool DatasUpdate::AppendNormalItem(std::string_view sDsn, int32_t lngFuncID, const std::string& strHelpCode,
                                   const std::string& strShowName, const std::string& strFuncName,
                                   int32_t lngFuncGroupID) {
  bool added = false;
  RunInCallScope(*runtime_, /*writes=*/true, [&] {
    GetObjectContext().SetAbort();
    try {
      const std::string& show_name = TrimSpaces(strShowName).empty() ? strFuncName : strShowName;
      AddNormalItem(sDsn, lngFuncID, strHelpCode, show_name, strFuncName, lngFuncGroupID);
      added = true;
      GetObjectContext().SetComplete();
    } catch (const std::exception&) {
      // Reported as False; the abort vote undoes whatever was written.
    }
  });
  return added;
}

void DatasUpdate::AddNormalItem(std::string_view sDsn, int32_t lngFuncID, const std::string& strHelpCode,
                                const std::string& strShowName, const std::string& strFuncName,
                                int32_t lngFuncGroupID) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    Variant user(request.parse.UserID());
    Variant function(lngFuncID);
    if (lngFuncGroupID == -1) {
      std::string group_name = LoadResString(kDefaultGroupName, request.parse.LanguageID(),
                                             runtime_->components());
      request.connection.Execute(kAddDefaultGroup, {user, Variant(group_name), user});
      request.connection.Execute(kAddToDefaultGroup, {user, function, Variant(strHelpCode),
                                                      Variant(strShowName), Variant(strFuncName), user, user,
                                                      function});
    } else {
      request.connection.Execute(kAddToGroup, {Variant(lngFuncGroupID), user, function, Variant(strHelpCode),
                                               Variant(strShowName), Variant(strFuncName)});
    }
  });
}

void DatasUpdate::DelNormalFunc(std::string_view sDsn, int32_t& lDetailFuncID) {
  RunSwallowingWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    request.connection.Execute(kDeleteFunction, {Variant(lDetailFuncID)});
    BumpStamp(request.data_source.Connection(), request.parse, /*template_stamp=*/true);
  });
}

void DatasUpdate::ClearNormalList(std::string_view sDsn, int32_t lngFuncGroupID) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    Variant user(request.parse.UserID());
    // Swallows its own failures; its writes are undone when it fails.
    SetDetailFuncNotNormal(sDsn);
    if (lngFuncGroupID == -1) {
      request.connection.Execute(kClearAll, {user});
    } else {
      request.connection.Execute(kClearGroup, {user, Variant(lngFuncGroupID)});
    }
  });
}

void DatasUpdate::AddNormalFuncGroup(std::string_view sDsn, const std::string& strFuncGroupName,
                                     const std::string& strShowName) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    Variant user(request.parse.UserID());
    Variant name{TrimSpaces(strFuncGroupName)};
    if (!request.connection.Query(kFindGroup, {user, name}).Eof()) {
      throw ComError(errors::kGroupExists, std::string(kGroupExistsSource),
                     LoadResString(kGroupExistsText, request.parse.LanguageID(), runtime_->components()));
    }
    request.connection.Execute(kAddGroup, {user, name, Variant(TrimSpaces(strShowName))});
  });
}

void DatasUpdate::DelNormalFuncGroup(std::string_view sDsn, int32_t lngFuncGroupID) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    request.connection.Execute(kDeleteGroup, {Variant(lngFuncGroupID)});
  });
}

void DatasUpdate::UpdateNormalFuncGroup(std::string_view sDsn, int32_t lngGroupID, const std::string& strName) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    request.connection.Execute(kRenameGroup, {Variant(strName), Variant(lngGroupID)});
  });
}

void DatasUpdate::SetDetailFuncNotNormal(std::string_view sDsn) {
  RunSwallowingWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    request.connection.Execute(kClearFavouriteMarks);
    BumpStamp(request.connection, request.parse, /*template_stamp=*/true);
  });
}

}  // namespace lxm

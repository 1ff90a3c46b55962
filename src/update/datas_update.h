// DatasUpdate ("LXMDataFlow.DatasUpdate"): the write side of the service.
//
// Every write runs in the frame of update/write_frame.h: it votes abort
// first, works in the call's transaction and votes complete at the end, so a
// write that fails leaves nothing changed and no stamp moved. A successful
// write touches a version stamp: the template's ("DataFlow") for template
// edits, else the caller's ("DataFlow" and the descriptor's UserID); readers
// then find their cached levels stale. A stamp row that does not exist yet is
// never created here.
//
// Text values are stored exactly as given (quotes included). The ID and text
// arguments are never changed.
//
// Thread-safety: one object serves one call at a time; objects share the
// runtime's pools and cache. Concurrent writes to one database wait for each
// other and all succeed.
#ifndef LXM_UPDATE_DATAS_UPDATE_H_
#define LXM_UPDATE_DATAS_UPDATE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/request_context.h"
#include "platform/dictionary.h"
#include "platform/runtime.h"

namespace lxm {

class DatasUpdate {
 public:
  inline static constexpr std::string_view kProgID = "LXMDataFlow.DatasUpdate";

  DatasUpdate() : DatasUpdate(Runtime::Default()) {}
  explicit DatasUpdate(Runtime& runtime) : runtime_(&runtime) {}

  // ---- Node attribute updates (node_attributes.cc) ----
  //
  // `dict` holds the new values; a missing key takes its default and is
  // written all the same: "Visible" (True; stored 1 or 0), "NewName" (""),
  // "Index" (0, CLng rules), and for top classes and subsystems
  // "FShowSysType" (0, stored in template mode only). A value that does not
  // convert fails the call (13 or 6). A null `dict` raises error 5.
  //
  // Template mode (`blnTemplate`) changes the template row; the three name
  // columns all receive "NewName". Overlay mode changes the target user's
  // overlay row, first copying it from the template row or, failing that,
  // from the shared default (user 0) when the user has none; for nodes that
  // come with the template (ID below the level's first user ID) only the name
  // column of the descriptor's language changes, for user-created nodes all
  // three. When neither source has the node, no row is created or changed.
  //
  // `dctInfo` "TemplateUserID", when not empty, names the target user (CLng
  // rules; text that is not a number raises 13); else the caller is the
  // target. The caller's stamp is bumped in overlay mode, and a target user
  // other than the caller has its stamp bumped as well.
  void UpdateTopClass(std::string_view sDsn, int32_t lngTopClassID, const std::shared_ptr<Dictionary>& dict,
                      bool blnTemplate = false, const std::shared_ptr<Dictionary>& dctInfo = nullptr);
  void UpdateSystemFunc(std::string_view sDsn, int32_t lngSystemID, const std::shared_ptr<Dictionary>& dict,
                        bool blnTemplate = false, const std::shared_ptr<Dictionary>& dctInfo = nullptr);
  void UpdateSubSysFunc(std::string_view sDsn, int32_t lngSubFuncID, const std::shared_ptr<Dictionary>& dict,
                        bool blnTemplate = false, const std::shared_ptr<Dictionary>& dctInfo = nullptr);
  // As above, with these differences: the name rule (language column only
  // below 1000000000) holds in template mode too; further keys "HelpCode"
  // (""), "Enable" (True; 1 or 0), "ClassName" (written only when not blank)
  // and, in template mode, the mere presence of "FuncType" (FFuncType = 16).
  // A template-mode call for a detail function that does not exist writes
  // nothing and bumps no stamp; an overlay-mode call for one that neither the
  // template nor user 0 has fails (no current row).
  void UpdateDetailFuncAttr(std::string_view sDsn, int32_t lngDetailID, const std::shared_ptr<Dictionary>& dict,
                            bool blnTemplate = false, const std::shared_ptr<Dictionary>& dctInfo = nullptr);

  // ---- Renames of template rows (renames.cc) ----
  //
  // Each writes one column of the template row with that ID (the simplified
  // Chinese base column, whatever the descriptor's language; never an overlay
  // row) and bumps the template stamp, also when no row matched. Failures are
  // raised with their number, source and description.
  void UpdateTopClassName(std::string_view sDsn, int32_t lngTopClassID, const std::string& sNewName);
  void UpdateSystemFuncName(std::string_view sDsn, int32_t lngSystemID, const std::string& sNewName);
  void UpdateSystemHelpFile(std::string_view sDsn, int32_t lngSystemID, const std::string& sFileName);
  void UpdateSubSysFuncName(std::string_view sDsn, int32_t lngSubFuncID, const std::string& sNewName);
  // Writes the account type's FShowName.
  void UpdateAcctTypeName(std::string_view sDsn, int32_t lngAcctID, const std::string& sNewName);
  // Marks the detail function whose ID and FFuncName match as a favourite
  // (FIsNormal = 1) with a new help code and display name. Its failures
  // (a descriptor that does not parse included) never reach the caller: the
  // call returns normally and what it had written is undone.
  void UpdateDetailFunc(std::string_view sDsn, int32_t lDetailFuncID, const std::string& sHelpCode,
                        const std::string& sShowName, const std::string& sFuncName);

  // ---- Favourites (favourites.cc) ----
  //
  // Texts are stored exactly as given. Only DelNormalFunc and
  // SetDetailFuncNotNormal bump a stamp (the template's).

  // AddNormalItem with the display name replaced by strFuncName when it is
  // blank. True when the item was added; any failure answers False and
  // leaves nothing changed.
  bool AppendNormalItem(std::string_view sDsn, int32_t lngFuncID, const std::string& strHelpCode,
                        const std::string& strShowName, const std::string& strFuncName,
                        int32_t lngFuncGroupID);
  // Adds a favourite item. With group -1 the item goes into the caller's
  // default group (smallest ID), which is created first with the request
  // language's "常用功能组" when the caller has none, and is not added when
  // that group already holds the function. With any other group the item is
  // added as given, without duplicate or owner test.
  void AddNormalItem(std::string_view sDsn, int32_t lngFuncID, const std::string& strHelpCode,
                     const std::string& strShowName, const std::string& strFuncName, int32_t lngFuncGroupID);
  // Removes the function from every user's favourites. Never raises.
  void DelNormalFunc(std::string_view sDsn, int32_t& lDetailFuncID);
  // Clears the template's favourite marks (SetDetailFuncNotNormal), then
  // removes the caller's items: all of them with group -1, else those of the
  // group. Groups stay.
  void ClearNormalList(std::string_view sDsn, int32_t lngFuncGroupID = -1);
  // Adds a group with the trimmed name and display name. A name the caller
  // already has (letter case and trailing blanks ignored) raises &H80044040,
  // source "LxmDataFlow.AddNormalFuncGroup", with the translated "功能组已存在".
  void AddNormalFuncGroup(std::string_view sDsn, const std::string& strFuncGroupName,
                          const std::string& strShowName = "");
  // Removes the group row; its items stay. No owner test.
  void DelNormalFuncGroup(std::string_view sDsn, int32_t lngFuncGroupID);
  // Renames a group to strName as given. No owner or duplicate test.
  void UpdateNormalFuncGroup(std::string_view sDsn, int32_t lngGroupID, const std::string& strName);
  // Clears FIsNormal on every template detail function. Never raises.
  void SetDetailFuncNotNormal(std::string_view sDsn);

  // ---- Profile values (profile_values.cc) ----

  // Stores the caller's value of a setting (an empty value as one blank),
  // inserting or updating its one row, and bumps the caller's stamp.
  void SetProfileValue(std::string_view sDsn, const std::string& strName, const std::string& strValue);

  // ---- Import of a user layout (import_user_data.cc) ----

  // Replaces the caller's whole overlay (all four levels) by the rows of
  // oDict, a layout as ExportUserData returns it, possibly another user's:
  // the caller's overlay rows are deleted and every row of the recordsets
  // "TopClass", "SubSystem", "SubFunc" and "DetailFunc" (from each one's
  // current row on) is inserted under the caller's user ID; then the
  // caller's stamp is bumped. Only the fields the tables need are read
  // (other fields, FUserID among them, are ignored); IDs, indexes and parent
  // IDs follow the CLng rules, FVisible and FEnable the CBool rules (Null is
  // False), texts are stored as they are (Null stays Null). Recordsets are
  // not moved.
  //
  // Nothing changes when the call fails:
  //   - oDict Nothing, a level key missing or not holding a recordset: error
  //     5, source "LXMDataFlow.DatasUpdate.ImportUserData", the request
  //     language's "无效或错误的模板文件，请重新选择。";
  //   - a field missing from a recordset with rows: errors::kItemNotFound;
  //   - a number or flag that does not convert: 13 (or 6 for overflow); a
  //     Null or Empty ID, index or parent ID: 94;
  //   - the same node twice in one level, or any other refusal of the
  //     database: errors::kDatabase.
  void ImportUserData(std::string_view sDsn, const std::shared_ptr<Dictionary>& oDict);

 private:
  Runtime* runtime_;
  RequestContext context_;  // of the last call
};

}  // namespace lxm

#endif  // LXM_UPDATE_DATAS_UPDATE_H_

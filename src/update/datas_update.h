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
#include <optional>
#include <string>
#include <string_view>

#include "core/request_context.h"
#include "platform/db_connection.h"
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

  // ---- Creating nodes (tree_creation.cc) ----
  //
  // Both read `oDict` with defaults for missing keys; numbers and flags go
  // through the conversion rules (text that is no number fails with 13 and
  // writes nothing). Names default to one blank, the CHT and EN names to the
  // simplified-Chinese one. Template mode (`blnTemplate`) writes the template
  // table and bumps the template stamp; overlay mode writes the caller's row
  // and bumps the caller's stamp. A duplicate ID fails with the database's
  // error. Nothing is written when any step fails.

  // Adds a subsystem under `lTopClassID` at position `lIndex` and returns its
  // ID: "FSubSysID" when above 0; else lTopClassID * 10 + lIndex (overflow:
  // error 6), with -"FSubSysID" as the previous number when the suite knows it
  // (a row in ICClassType; -8999..-8000 are taken on trust). Keys "FSysName",
  // "FSysNameCHT", "FSysNameEN", "FShowSysType" (0), "FVisible" (1), "FAcctType"
  // (" "), and in template mode "FRefresh" (0), "FClassName" (" "), "FSubID"
  // (""). A previous number, or a new ID in 8000..8999 or 80000..89999, writes
  // the catalogue row (t_SubSystem, FNumber = "FSubID"); a previous number that
  // differs from the new ID is renumbered in the catalogue and the nine side
  // tables. Failures are raised with their number and description under the
  // source "LXMDataFlow.DatasUpdate.CreateSubSys".
  int32_t CreateSubSys(std::string_view sDsn, int32_t lTopClassID, int32_t lIndex,
                       const std::shared_ptr<Dictionary>& oDict, bool blnTemplate = false);
  // Adds a top class at position `lIndex` under the caller-supplied
  // "FTopClassID" and returns that ID. Keys "FTopClassName", "FTopClassNameCHT",
  // "FTopClassNameEN", "FShowSysType" (0, template only), "FVisible" ("True"),
  // "FAcctType" (" "). Failures are raised with their number and description;
  // the source is the failure's source, CR LF, and
  // "LXMDataFlow.DatasUpdate.CreateTopClass".
  int32_t CreateTopClass(std::string_view sDsn, int32_t lIndex, const std::shared_ptr<Dictionary>& oDict,
                         bool blnTemplate = false);

  // ---- Deleting nodes (node_deletion.cc) ----

  // Deletes one node's row; `lBase` names the level (1000 top class, 100000
  // subsystem, 10000000 sub-function, 1000000000 detail function). Template
  // mode deletes the template row (a subsystem's catalogue row too) and bumps
  // the template stamp; overlay mode deletes the caller's and the shared
  // default's rows of the node and bumps both users' stamps. Children stay.
  // Never raises: any failure (an unknown level included) changes nothing.
  void DeleteItem(std::string_view sDsn, int32_t lBase, int32_t lID, bool blnTemplate = false);

  // ---- Reset and propagation (overlay_reset.cc) ----

  // Resets the caller's overlay to the shared default: drops the caller's
  // rows and the default's rows whose template node is gone, then gives the
  // caller a row for each of the default's nodes with the template's names,
  // order and visibility. Touches every stamp but the template's. Failures
  // (the caller being user 0, the shared default itself, included) are raised
  // with their number and description under the source
  // "LXMDataFlow.DatasUpdate.SetDefault"; nothing is changed then.
  void SetDefault(std::string_view sDsn);
  // Copies the overlay of the template user ("TemplateUserID" of `dctInfo`,
  // else the caller). With no "TemplateUserID" and an empty `vctUser`, the
  // template user's overlay becomes the shared default of everybody: every
  // other overlay but user 0's is dropped and user 0 takes the template
  // user's rows (none when that is user 0). Otherwise each user of `vctUser`
  // (CLng rules; the template user and repeats are skipped) gets an exact copy
  // of the template user's rows in place of their own. Touches every stamp
  // but the template's. Returns True; failures are raised (source
  // ":ExcuteBuildSQL" for the listed users' copy) and change nothing. A null
  // `vctUser` raises error 5.
  bool ApplyAllUser(std::string_view sDsn, const std::shared_ptr<Vector>& vctUser,
                    const std::shared_ptr<Dictionary>& dctInfo = nullptr);

  // ---- Commands and component registration (environment/component_registration.cc) ----

  // Runs one command line on the server and waits for it: only command lines
  // the configuration allows (exact program, argument pattern), started
  // without a shell, within a time limit. Raises 70 naming a refused program,
  // 53 when it cannot be started, 5 when it times out or fails (exit status
  // not 0). `cmdline` is left as it was.
  void ExecCmd(std::string& cmdline);
  // The file of the server registered for a ProgID (the in-process server, or
  // the local server when `bInProcess` is false) as the registry holds it;
  // "" when the ProgID has no class ID.
  std::string GetActiveXFilePath(const std::string& strProgID, bool bInProcess = true);
  // Registers the middleware of the edition `sR8Version` ("" = installed)
  // again, through ExecCmd, unless the server manager is registered from its
  // directory already. False after any failure (nothing reported).
  bool RegMiddle(const Variant& sR8Version);

  // ---- Detail-function synchronisation and creation (detail_sync.cc,
  // detail_create.cc; the item routines are in update/detail_items.h) ----

  // Brings the detail functions of sub-function lSubFuncID in line with
  // oVect, a list of item Dictionaries walked in order.
  //
  // Full synchronisation (bDelAll): in the template (blnTemplate) the
  // sub-function's template rows are replaced; in the overlay the caller's
  // rows below 1000000000 are (user-created functions stay). Items are
  // inserted at positions 1 to 99, matched by name (SyncNamedItem), so a
  // listed function keeps the ID of the template row of that name or, when
  // it names one, its "FDetailFuncID"; anything else gets lSubFuncID * 100 +
  // position. Items beyond the 99th are ignored. The caller's favourites of a
  // replaced own row follow it to its new ID; all other favourites keep
  // theirs. Whatever the list does not claim is deleted.
  //
  // Sub-function 600201: positions 8 to 99 (92 items), items matched by class
  // parameter (SyncClassParamItem). In the template only rows above 60020107
  // and up to 60020198 are replaced, and every user's own rows of 600201
  // below 1000000000 are removed; a function found is kept under its ID, a
  // new one is numbered from the greatest ID up to 60020198.
  //
  // Flags only (!bDelAll): each item sets FVisible and/or FEnable of the
  // template row "FDetailFuncID", in either mode, without position limit.
  //
  // Stamps: the template's for template synchronisations and for flags;
  // the caller's for overlay synchronisations (and for flags in overlay
  // mode); under 600201 in the template also the stamp of every user whose
  // rows were removed.
  //
  // Failure: any failure (a descriptor that does not parse, oVect Nothing,
  // an item that is not a Dictionary, a value that does not convert, an item
  // with neither flag in flags mode, no ID left under 600201, a database
  // error) raises error 11 with source
  // "LXMDataFlow.DatasUpdate.RefreshDetailFunc" and the failure's
  // description; nothing is written and no stamp moves. On success no
  // negative (marked) ID remains in either detail table or the favourites.
  void RefreshDetailFunc(std::string_view sDsn, int32_t lSubFuncID, const std::shared_ptr<Vector>& oVect,
                         bool bDelAll = true, bool blnTemplate = true);

  // Inserts one detail function from oDict at lIndex under lSubFuncID, as
  // SyncNamedItem does (a name the template already has under that
  // sub-function reuses that row's ID), and bumps the template's stamp
  // (blnTemplate) or the caller's. Any failure, the ID taken already
  // included, is swallowed: the call returns normally and writes nothing.
  void CreateDetailFunc(std::string_view sDsn, int32_t lSubFuncID, int32_t lIndex,
                        const std::shared_ptr<Dictionary>& oDict, bool blnTemplate = false);

  // Inserts one sub-function from oDict under lSubSystemID (InsertSubFunc)
  // and bumps the template's stamp (blnTemplate) or the caller's. Returns its
  // ID ("FSubFuncID", else lSubSystemID * 100 + lIndex); any failure returns
  // 0 and writes nothing.
  int32_t CreateSubFunc(std::string_view sDsn, int32_t lSubSystemID, int32_t lIndex,
                        const std::shared_ptr<Dictionary>& oDict, bool blnTemplate = false);
  // ---- Refresh of subsystems from their components (subsystem_refresh.cc) ----

  // Replaces the sub-functions of subsystem lSubSystemID by oVect, a list of
  // item Dictionaries, or (!bDelAll) only sets their visibility.
  //
  // Full refresh: in the template (blnTemplate) the subsystem's template
  // sub-functions and their detail functions are deleted; in the overlay the
  // caller's rows of them, except sub-functions the caller created (IDs from
  // 10000000). Then the items are inserted in order at positions 1 to 99 as
  // InsertSubFunc does (ID "FSubFuncID", else lSubSystemID * 100 +
  // position); items beyond the 99th are ignored.
  //
  // Visibility refresh: each item sets FVisible ("FVisible", default True) of
  // the template sub-function "FSubFuncID" (default 0), in either mode.
  //
  // Each delete, insert and update stands alone: one that fails is skipped
  // (what it wrote undone, the skip logged) and the rest goes on. Stamps:
  // the template's (blnTemplate) or the caller's; a visibility refresh, which
  // writes the template, bumps the template's too. A descriptor that does not
  // parse, or a stamp that cannot be bumped, is raised and nothing is kept.
  // oVect Nothing inserts nothing. blnTemplate is never changed.
  void RefreshSubFunc(std::string_view sDsn, int32_t lSubSystemID, const std::shared_ptr<Vector>& oVect,
                      bool bDelAll = true, bool blnTemplate = true);

  // Refreshes every template subsystem marked for it (FRefresh = 1), in ID
  // order, whose module list (FSubID) is empty or has an installed module:
  // the component its FClassName names gives the sub-function list, which
  // RefreshSubFunc (or RefreshDetailFunc, when the component asks for a
  // sub-function's detail refresh) applies in the template. Every component
  // is asked before anything is written, so none is called while the call
  // holds the write lock. A subsystem whose component cannot be created or
  // fails, or whose list cannot be applied, is skipped, logged, and the
  // others go on. Any other failure is not reported and undoes the whole
  // call (logged).
  void RefreshActivFunc(std::string_view sDsn);

  // ---- Enable flags and base data (function_status.cc) ----
  //
  // These three never report a failure: it undoes what the call wrote and is
  // logged. Each bumps the template's stamp.

  // Disables every template detail function of lSubFuncID whose FFuncType is
  // not -1, then enables (through UpdateFuncEnable) those whose FFuncType
  // shares a bit with lStatus. Neither argument is changed.
  void ReFreshStatus(std::string_view sDsn, int32_t& lSubFuncID, int32_t& lStatus);
  // Enables the template detail function lDetailFuncID (unchanged).
  void UpdateFuncEnable(std::string_view sDsn, int32_t& lDetailFuncID);
  // Marks every template subsystem as needing its base data reloaded.
  void UpdateSysBaseData(std::string_view sDsn);

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
  // Whether template subsystem `node_id` is marked for refresh (node type 2;
  // other types tell nothing); `dictionary` becomes its row.
  static bool GetRefreshNodeInfo(const DbConnection& connection, int32_t node_id, int32_t node_type,
                                 std::shared_ptr<Dictionary>& dictionary);
  // A subsystem's refresh: the dictionary as its component handed it back,
  // and the list it gave.
  struct PendingRefresh {
    std::shared_ptr<Dictionary> dictionary;
    std::shared_ptr<Vector> items;
  };
  // Asks the component named by dictionary "FClassName" for its list; a
  // component that cannot be created or fails is logged and gives nothing.
  std::optional<PendingRefresh> AskRefreshComponent(const std::shared_ptr<Dictionary>& dictionary);
  // Applies a list as its dictionary says (RefreshSubFunc for type 2,
  // RefreshDetailFunc for type 3, in the template); a failure is logged and
  // nothing of it kept.
  void ApplyRefresh(std::string_view sDsn, const PendingRefresh& refresh);

  // The listed users' copy of ApplyAllUser, ten users to a chunk.
  static void ExcuteBuildSQL(const DbConnection& connection, const Vector& users, int32_t template_user);

  Runtime* runtime_;
  RequestContext context_;  // of the last call
};

}  // namespace lxm

#endif  // LXM_UPDATE_DATAS_UPDATE_H_

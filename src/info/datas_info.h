// DatasInfo ("LXMDataFlow.DatasInfo"): the read side of the service.
//
// Every tree read votes complete first, builds the request context and
// brings the cached levels up to date for the current stamps (template and
// caller); a listing then hands out one whole level of the caller's own
// overlay rows from the cache, without a query of the tree tables.
//
// Listings return the whole level: they neither narrow by their ID argument
// (which they leave unchanged) nor by visibility or account type; that is the
// caller's. A level without rows is an empty recordset.
//
// Thread-safety: one object serves one call at a time; objects share the
// runtime's pools and cache.
#ifndef LXM_INFO_DATAS_INFO_H_
#define LXM_INFO_DATAS_INFO_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/request_context.h"
#include "platform/db_connection.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "platform/runtime.h"
#include "tree/level_cache.h"

namespace lxm {

class DatasInfo {
 public:
  inline static constexpr std::string_view kProgID = "LXMDataFlow.DatasInfo";

  DatasInfo() : DatasInfo(Runtime::Default()) {}
  explicit DatasInfo(Runtime& runtime) : runtime_(&runtime) {}

  // Level "TopClass" of the caller's view.
  Recordset GetTopClass(std::string_view sDsn);
  Recordset GetTopClass_All(std::string_view sDsn);
  // Level "SubSystem"; lTopClassID is neither read nor changed.
  Recordset GetSubSystem(std::string_view sDsn, int32_t& lTopClassID);
  Recordset GetSubSystem_All(std::string_view sDsn, int32_t& lTopClassID);
  // Level "SubFunc"; lSubSysID is neither read nor changed.
  Recordset GetSubFunc(std::string_view sDsn, int32_t& lSubSysID);
  Recordset GetSubFunc_All(std::string_view sDsn, int32_t& lSubSysID);
  // Level "DetailFunc"; the ID is neither read nor changed.
  Recordset GetDetailFunc(std::string_view sDsn, int32_t& lSubFuncID);
  Recordset GetDetailFunc_All(std::string_view sDsn, int32_t& lSubFuncID);
  Recordset GetDetailFuncInfo(std::string_view sDsn, int32_t& lDetailFuncID);

  // The template subsystem whose FSubID equals that of the detail
  // function's template sub-function (when not blank), smallest FSubSysID
  // first; 0 when there is none. Errors are raised again under the source
  // "LxmDataFlow.DatasInfo:GetSubSystemHelp".
  int32_t GetSubSystemHelp(std::string_view sDsn, int32_t lDetailFuncID);

  // ===================================================================
  // Node attribute queries (node_queries.cc, node_numbering.cc,
  // node_view_queries.cc).
  //
  // Single questions about one node. The ID and type arguments are never
  // changed. Level codes: type 1 to 4 (top class, subsystem, sub-function,
  // detail function) or level base 1000, 100000, 10000000, 1000000000.
  // ===================================================================

  // FClassName of the template subsystem above a detail function (lType 4)
  // or a sub-function (lType 3); "" when there is none or it is Null. Any
  // other lType raises error 5. Errors reach the caller unchanged.
  std::string GetSubSysClass(std::string_view sDsn, int32_t& lID, int32_t& lType);
  // The simplified Chinese FName of the template subsystem above a detail
  // function, whatever the descriptor's language; "" when there is none.
  // Errors reach the caller unchanged.
  std::string GetSubSysName(std::string_view sDsn, int32_t& lFDetailFuncID);
  // Whether the template has children of the node named by level base and ID
  // (overlay-only children do not count). Base 1000000000 is False without a
  // query; any other unknown base raises error 5. Errors reach the caller.
  bool IsHasChild(std::string_view sDsn, int32_t& lBase, int32_t& lID);
  // The FIndex a new child of lID (type 2 to 4) or a new top class (type 1)
  // should get: past both the template's and every user's greatest index, and
  // for detail functions past the running number of the greatest template ID
  // (ID = lID x 100 + number). Never raises: any failure answers 0.
  int32_t GetNextIndex(std::string_view sDsn, int32_t& lType, int32_t& lID);
  // The next ID for a node a user creates on level lType: the greatest ID in
  // that level's overlay table (all users) plus 1, but at least the level
  // base. lID is not used. Never raises: any failure answers 0.
  int32_t GetNextID(std::string_view sDsn, int32_t& lType, int32_t& lID);
  // The subsystem's reload flag, cleared once read as True. A subsystem that
  // does not exist, and any failure, answer True.
  bool IsReFreshBaseData(std::string_view sDsn, int32_t lngSystemID);
  // The caller's own profile value of that name ("" when there is none).
  // oDict is replaced by the call's stamp dictionary. Never raises: any
  // failure answers "".
  std::string GetProfileValue(std::string_view sDsn, std::string_view strName,
                              std::shared_ptr<Dictionary>& oDict);
  // The FRefresh flag of the template subsystem (lType 2) or sub-function
  // (lType 3) lID; False without a row or for Null. Any other lType raises
  // error 5. Errors reach the caller unchanged.
  bool IsRefreshNode(std::string_view sDsn, int32_t& lID, int32_t& lType);
  // True and oDict replaced by the template subsystem row lID (fields as the
  // cached "SubSystem" level has them); without a row False, and oDict holds
  // the stamp dictionary. Errors reach the caller unchanged.
  bool GetSubSystemInfo(std::string_view sDsn, int32_t& lID, std::shared_ptr<Dictionary>& oDict);
  // The FSetEnable flag of the template sub-function lID (Null reads False),
  // with oDict replaced by its row; without a row False, and oDict holds the
  // stamp dictionary. Errors reach the caller unchanged.
  bool IsSetEnable(std::string_view sDsn, int32_t& lID, std::shared_ptr<Dictionary>& oDict);
  // The display name (FShowName in the descriptor's language) of the account
  // type whose name (in that language), else number, else type code equals
  // strName, letter case ignored; "" when none does. A descriptor that does
  // not parse raises; later failures answer "".
  std::string GetAcctShowName(std::string_view sDsn, std::string_view strName);

  // ---- Favourites and help codes ----

  // Every column of the caller's favourite groups.
  Recordset GetNormalFuncGroup(std::string_view sDsn);
  // Every column of the items of one group, whoever owns it; group -1 has
  // none.
  Recordset GetNormalFunc(std::string_view sDsn, int32_t lngGroupID);
  // The caller's items of one group that name a detail function, with the
  // function's attributes, in tree order (top class, subsystem, sub-function,
  // index). Template functions outside sub-functions 701..799 carry the
  // template's attributes and the request language's name; the caller's own
  // functions (user-created, or under 701..799) carry FIsNormal 0, FAcctType
  // "", FFuncType -1 and the simplified Chinese name. Display name and help
  // code are the item's own. Identical rows appear once.
  Recordset GetDetailNormalFunc(std::string_view sDsn, int32_t lngGroupID);
  // Every function the help code names for the caller, from six sources in
  // order (FOrderIndex 1 to 6): the caller's own and the default overlay
  // functions among the caller's favourites with that code, template
  // favourites, then functions by their own code: the caller's overlay, the
  // default overlay, and template functions of the installed account type
  // (characters 5 and 6 of the 'ServicePack' value). Codes compare ignoring
  // letter case and trailing blanks; within a source rows are ordered by
  // FDetailFuncID. sHelpCode is not changed. Every error is raised again
  // under the source "LxmDataFlow.DatasInfo:GetHelpCodeInfo".
  Recordset GetHelpCodeInfo(std::string_view sDsn, std::string& sHelpCode);

  // ---- Pictures, patches and files of the installation
  //      (environment/installation_files.cc) ----
  //
  // Only files under the server's configured file roots are served (see
  // environment/served_files.h); any other file reads as missing.

  // Six picture entries, one per window picture of the component directory,
  // each a dictionary "Type" ("Middle"), "Image" (the bytes, or "" when the
  // file is missing) and "Ok" (the text "true" or "false"). Failures are
  // raised with the source "LXMDataFlow.DatasUpdate:GetPicInfo".
  std::shared_ptr<Vector> GetPicInfo();
  // The installed patches: patch number -> patch code, from the patch history
  // log (codes of 1 to 8 letters, digits or underscores whose service-pack key
  // has a "VERSION"), numbered from the log's "ZQPatchHistory" section, else
  // "M" and the position in six digits. Empty without a log; nothing (null)
  // after any failure.
  std::shared_ptr<Dictionary> GetPatchLst();
  // The programs of the patches numbered "A..." that `dctPatch` does not hold
  // as keys: code -> {code + ".exe": bytes}, plus "Number": number -> code.
  // Nothing (null) after any failure.
  std::shared_ptr<Dictionary> GetPatchFile(const std::shared_ptr<Dictionary>& dctPatch);
  bool FileExists(const std::string& strFilePath);
  // Error 53 when the file is not served.
  int32_t GetFileSize(const std::string& strFilePath);
  // The file's bytes (one 0 byte for an empty file); error 5 with source
  // "LXMDataFlow.DatasUpdate" when it is not served.
  Bytes FileToVariant(const std::string& strLocalFile);
  // ---- Bulk reads and export (bulk_reads.cc) ----

  // The cached levels named in vNames (a Vector of level names, read as
  // text; blank names are skipped), each under its name: the template's
  // levels when blnTemplate ("AcctType" and "Profile" included), else the
  // caller's own overlay rows. A name the cache does not know maps to
  // Nothing. Every failure (a descriptor that does not parse, vNames not a
  // Vector, an element that is Null or an object) is swallowed: the result
  // is then Nothing (a null pointer). vNames is not changed.
  std::shared_ptr<Dictionary> GetRecordset(std::string_view sDsn, Variant& vNames, bool blnTemplate);
  // Every column of every favourite item of the caller, in every group.
  // Errors reach the caller unchanged.
  Recordset GetUserNormalLst(std::string_view sDsn);
  // The caller's layout, for ImportUserData: the stamp dictionary
  // ("TimeStamp", "UserTimeStamp", "UserID") and, under "TopClass",
  // "SubSystem", "SubFunc" and "DetailFunc", every column of the overlay
  // table for the caller's view: the caller's own rows and the shared
  // default rows (FUserID 0) of the nodes the caller has none for, in no
  // particular order. Errors reach the caller unchanged.
  std::shared_ptr<Dictionary> ExportUserData(std::string_view sDsn);

 private:
  // The frame of the favourite reads: the read sequence, then `read` on an
  // uncommitted connection with the caller's user ID.
  Recordset ReadFavourites(std::string_view sDsn,
                           const std::function<Recordset(DbConnection&, int32_t)>& read);

  // The read frame: context, stamps and current levels. Returns the stamp
  // dictionary.
  std::shared_ptr<Dictionary> PrepareContext(std::string_view sDsn);
  // The read-request sequence of a listing.
  Recordset ListLevel(std::string_view sDsn, std::string_view level_name);

  Runtime* runtime_;
  RequestContext context_;   // of the last call
  PreparedLevels prepared_;  // of the last call
};

}  // namespace lxm

#endif  // LXM_INFO_DATAS_INFO_H_

// DatasUpdate: new subsystems and top classes, in the template or in the
// caller's overlay. A subsystem in the suite's own ranges also gets its row in
// the subsystem catalogue, and one created under a new number takes its old
// number's rows in the suite's side tables along.
#include <string>

#include "core/globals.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "update/datas_update.h"
#include "update/dictionary_values.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

constexpr std::string_view kCreateSubSysSource = "LXMDataFlow.DatasUpdate.CreateSubSys";
constexpr std::string_view kCreateTopClassSource = "LXMDataFlow.DatasUpdate.CreateTopClass";

constexpr std::string_view kFunctionExists = "SELECT 1 FROM ICClassType WHERE FFunctionID=?";

constexpr std::string_view kInsertTemplateSubSystem =
    "INSERT INTO t_DataFlowSubSystem (FSubSysID,FTopClassID,FName,FName_CHT,FName_EN,FClassName,FVisible,"
    "FAcctType,FRefresh,FIndex,FSubID,FShowSysType) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)";
constexpr std::string_view kInsertUserSubSystem =
    "INSERT INTO t_UserSubSystem (FSubSysID,FUserID,FTopClassID,FName,FName_CHT,FName_EN,FVisible,FAcctType,"
    "FIndex) VALUES (?,?,?,?,?,?,?,?,?)";

constexpr std::string_view kDeleteCatalogueRow = "DELETE FROM t_SubSystem WHERE FSubSysID=?";
constexpr std::string_view kInsertCatalogueRow =
    "INSERT INTO t_SubSystem (FSubSysID,FNumber,FName,FName_CHT,FName_EN) VALUES (?,?,?,?,?)";
// Addresses the template row whether or not the node went into the template.
constexpr std::string_view kLinkCatalogueRow = "UPDATE t_DataFlowSubSystem SET FSubsystemID=? WHERE FSubSysID=?";

constexpr std::string_view kCatalogueRowExists = "SELECT 1 FROM t_SubSystem WHERE FSubSysID=?";
constexpr std::string_view kTemplateSubSystemExists = "SELECT 1 FROM t_DataFlowSubSystem WHERE FSubSysID=?";
constexpr std::string_view kOwnSubSystemExists = "SELECT 1 FROM t_UserSubSystem WHERE FSubSysID=? AND FUserID=?";
constexpr std::string_view kRenumberCatalogueRow = "UPDATE t_SubSystem SET FSubSysID=? WHERE FSubSysID=?";
// The suite's tables that carry a subsystem number, in the order they are
// renumbered. Each statement takes the new number, then the old.
constexpr std::string_view kRenumberSideTables[] = {
    "UPDATE ICClassType SET FFunctionID=? WHERE FFunctionID=?",
    "UPDATE ICListTemplate SET FSubSysID=? WHERE FSubSysID=?",
    "UPDATE t_LogFunction SET FSubSysID=? WHERE FSubSysID=?",
    "UPDATE t_SysFunction SET FSubSysID=? WHERE FSubSysID=?",
    "UPDATE t_DataAccess SET FSubSysID=? WHERE FSubSysID=?",
    "UPDATE t_FieldObject SET FSubSysID=? WHERE FSubSysID=?",
    "UPDATE t_DataObject SET FSubSysID=? WHERE FSubSysID=?",
    "UPDATE t_TableDescription SET FSubSystemID=? WHERE FSubSystemID=?",
    "UPDATE ICClassWorkFlow SET FSubSysID=? WHERE FSubSysID=?",
};

constexpr std::string_view kInsertTemplateTopClass =
    "INSERT INTO t_DataFlowTopClass (FTopClassID,FTopClassName,FTopClassName_CHT,FTopClassName_EN,FVisible,"
    "FAcctType,FIndex,FShowSysType) VALUES (?,?,?,?,?,?,?,?)";
constexpr std::string_view kInsertUserTopClass =
    "INSERT INTO t_UserTopClass (FTopClassID,FUserID,FTopClassName,FTopClassName_CHT,FTopClassName_EN,FVisible,"
    "FAcctType,FIndex) VALUES (?,?,?,?,?,?,?,?)";

// A name in three languages: the other two default to the first.
struct Names {
  std::string chs;
  std::string cht;
  std::string en;
};

Names ReadNames(const Dictionary& dict, std::string_view base, std::string_view cht_key,
                std::string_view en_key) {
  Names names;
  names.chs = TextValue(dict, base, " ");
  names.cht = TextValue(dict, cht_key, names.chs);
  names.en = TextValue(dict, en_key, names.chs);
  return names;
}

// The suite keeps catalogue rows for its own subsystem ranges.
bool InCatalogueRange(int32_t id) { return (id >= 80000 && id <= 89999) || (id >= 8000 && id <= 8999); }

// The new subsystem ID and the number it replaces (0 for none). A requested ID
// above 0 is taken as it is; otherwise the negated request names the previous
// number, which counts only when the suite knows it (numbers -8999..-8000 are
// taken on trust), and the new ID is made from the parent and the position.
struct SubSystemIDs {
  int32_t id = 0;
  int32_t previous = 0;
};

SubSystemIDs SettleSubSystemIDs(const DbConnection& connection, int32_t requested, int32_t top_class_id,
                                int32_t index) {
  SubSystemIDs ids;
  if (requested > 0) {
    ids.id = requested;
    return ids;
  }
  ids.previous = CheckedSub(0, requested);
  if (requested < -8999 || requested > -8000) {
    if (connection.Query(kFunctionExists, {Variant(ids.previous)}).Eof()) ids.previous = 0;
  }
  ids.id = CheckedAdd(CheckedMul(top_class_id, 10), index);
  return ids;
}

// Moves the old number's catalogue row to the new number (or drops it when the
// new number has one already) and renumbers the side tables.
void RenumberSubSystem(const DbConnection& connection, int32_t old_id, int32_t new_id) {
  Params ids = {Variant(new_id), Variant(old_id)};
  if (!connection.Query(kCatalogueRowExists, {Variant(new_id)}).Eof()) {
    connection.Execute(kDeleteCatalogueRow, {Variant(old_id)});
  } else {
    connection.Execute(kRenumberCatalogueRow, ids);
  }
  for (std::string_view statement : kRenumberSideTables) connection.Execute(statement, ids);
}

}  // namespace

int32_t DatasUpdate::CreateSubSys(std::string_view sDsn, int32_t lTopClassID, int32_t lIndex,
                                  const std::shared_ptr<Dictionary>& oDict, bool blnTemplate) {
  int32_t new_id = 0;
  try {
    RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
      const Dictionary& dict = RequireDictionary(oDict);
      int32_t requested = LongValue(dict, "FSubSysID", 0);
      Names names = ReadNames(dict, "FSysName", "FSysNameCHT", "FSysNameEN");
      int32_t show_sys_type = LongValue(dict, "FShowSysType", 0);
      SubSystemIDs ids = SettleSubSystemIDs(request.connection, requested, lTopClassID, lIndex);

      // The database would refuse the insert all the same; this says which
      // ID, often one made from the index, is taken.
      const bool taken = blnTemplate ? !request.connection.Query(kTemplateSubSystemExists, {Variant(ids.id)}).Eof()
                                     : !request.connection
                                            .Query(kOwnSubSystemExists, {Variant(ids.id), Variant(request.parse.UserID())})
                                            .Eof();
      if (taken) {
        throw ComError(errors::kDatabase, std::string(request.connection.transaction().backend_name()),
                       "The subsystem ID " + std::to_string(ids.id) + " is taken already" +
                           (requested > 0 ? "" : " (top class " + std::to_string(lTopClassID) + " times 10 plus index " +
                                                     std::to_string(lIndex) + ")") +
                           "; nothing was written.");
      }

      int32_t visible = FlagValue(dict, "FVisible", Variant(1));
      if (blnTemplate) {
        int32_t refresh = FlagValue(dict, "FRefresh", Variant(0));
        std::string class_name = TextValue(dict, "FClassName", " ");
        std::string acct_type = TextValue(dict, "FAcctType", " ");
        std::string sub_id = TextValue(dict, "FSubID", "");
        request.connection.Execute(
            kInsertTemplateSubSystem,
            {Variant(ids.id), Variant(lTopClassID), Variant(names.chs), Variant(names.cht), Variant(names.en),
             Variant(class_name), Variant(visible), Variant(acct_type), Variant(refresh), Variant(lIndex),
             Variant(sub_id), Variant(show_sys_type)});
      } else {
        std::string acct_type = TextValue(dict, "FAcctType", " ");
        request.connection.Execute(
            kInsertUserSubSystem,
            {Variant(ids.id), Variant(request.parse.UserID()), Variant(lTopClassID), Variant(names.chs),
             Variant(names.cht), Variant(names.en), Variant(visible), Variant(acct_type), Variant(lIndex)});
      }

      if (ids.previous > 0 || InCatalogueRange(ids.id)) {
        std::string number = TextValue(dict, "FSubID", "");
        request.connection.Execute(kDeleteCatalogueRow, {Variant(ids.id)});
        request.connection.Execute(kInsertCatalogueRow, {Variant(ids.id), Variant(number), Variant(names.chs),
                                                         Variant(names.cht), Variant(names.en)});
        request.connection.Execute(kLinkCatalogueRow, {Variant(ids.id), Variant(ids.id)});
      }
      if (ids.previous > 0 && ids.previous != ids.id) RenumberSubSystem(request.connection, ids.previous, ids.id);
      BumpStamp(request.connection, request.parse, blnTemplate);
      new_id = ids.id;
    });
  } catch (const ComError& error) {
    throw ComError(error.number(), std::string(kCreateSubSysSource), error.description());
  }
  return new_id;
}

int32_t DatasUpdate::CreateTopClass(std::string_view sDsn, int32_t lIndex, const std::shared_ptr<Dictionary>& oDict,
                                    bool blnTemplate) {
  int32_t id = 0;
  try {
    RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
      const Dictionary& dict = RequireDictionary(oDict);
      id = LongValue(dict, "FTopClassID", 0);
      Names names = ReadNames(dict, "FTopClassName", "FTopClassNameCHT", "FTopClassNameEN");
      int32_t show_sys_type = LongValue(dict, "FShowSysType", 0);
      int32_t visible = FlagValue(dict, "FVisible", Variant("True"));
      std::string acct_type = TextValue(dict, "FAcctType", " ");
      if (blnTemplate) {
        request.connection.Execute(kInsertTemplateTopClass,
                                   {Variant(id), Variant(names.chs), Variant(names.cht), Variant(names.en),
                                    Variant(visible), Variant(acct_type), Variant(lIndex), Variant(show_sys_type)});
      } else {
        request.connection.Execute(kInsertUserTopClass,
                                   {Variant(id), Variant(request.parse.UserID()), Variant(names.chs),
                                    Variant(names.cht), Variant(names.en), Variant(visible), Variant(acct_type),
                                    Variant(lIndex)});
      }
      BumpStamp(request.connection, request.parse, blnTemplate);
    });
  } catch (const ComError& error) {
    // The caught source comes first, then this method's, on its own line.
    throw ComError(error.number(), error.source() + "\r\n" + std::string(kCreateTopClassSource),
                   error.description());
  }
  return id;
}

}  // namespace lxm

// DatasUpdate: attribute updates of one node (top class, subsystem,
// sub-function, detail function), in the template or in a user's overlay.
#include <string>
#include <utility>
#include <vector>

#include "core/globals.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "platform/text_util.h"
#include "update/datas_update.h"
#include "update/dictionary_values.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

// One level of the tree as the updates see it.
struct NodeLevel {
  std::string_view template_table;
  std::string_view user_table;
  std::string_view key;
  std::string_view name_column;  // base of the three language columns
  // The overlay columns copy-on-write takes over, besides the key and FUserID.
  std::string_view copied_columns;
  // Nodes below it came with the template.
  int32_t first_user_id;
};

constexpr NodeLevel kTopClass{"t_DataFlowTopClass", "t_UserTopClass", "FTopClassID", "FTopClassName",
                              "FTopClassName,FTopClassName_CHT,FTopClassName_EN,FIndex,FVisible", 1000};
constexpr NodeLevel kSubSystem{"t_DataFlowSubSystem", "t_UserSubSystem", "FSubSysID", "FName",
                               "FTopClassID,FName,FName_CHT,FName_EN,FVisible,FIndex", 100000};
constexpr NodeLevel kSubFunc{"t_DataFlowSubFunc", "t_UserSubFunc", "FSubFuncID", "FFuncName",
                             "FSubSysID,FIndex,FFuncName,FFuncName_CHT,FFuncName_EN,FVisible", 10000000};
constexpr NodeLevel kDetailFunc{"t_DataFlowDetailFunc", "t_UserDetailFunc", "FDetailFuncID", "FFuncName",
                                "FFuncName,FFuncName_CHT,FFuncName_EN,FSubFuncID,FIndex,FClassName,"
                                "FClassParam,FVisible,FHelpCode,FEnable",
                                1000000000};

// A column and the value an UPDATE gives it. Column names come from the
// constants above or from LanguageColumn, never from the caller.
using Assignment = std::pair<std::string, Variant>;

// UPDATE table SET a=?,b=? WHERE key=? [AND FUserID=?]
void UpdateRow(const DbConnection& connection, std::string_view table, const NodeLevel& level,
               const std::vector<Assignment>& sets, int32_t id, const int32_t* user_id) {
  std::string sql = "UPDATE " + std::string(table) + " SET ";
  Params params;
  for (size_t i = 0; i < sets.size(); ++i) {
    if (i > 0) sql += ",";
    sql += sets[i].first + "=?";
    params.push_back(sets[i].second);
  }
  sql += " WHERE " + std::string(level.key) + "=?";
  params.push_back(Variant(id));
  if (user_id != nullptr) {
    sql += " AND FUserID=?";
    params.push_back(Variant(*user_id));
  }
  connection.Execute(sql, params);
}

// Gives `user_id` an own overlay row for the node when it has none: a copy of
// the template row, else of the shared default row. Neither: no row.
void CopyOnWrite(const DbConnection& connection, const NodeLevel& level, int32_t id, int32_t user_id) {
  const std::string key(level.key);
  const std::string columns(level.copied_columns);
  const std::string user_table(level.user_table);
  const std::string missing =
      " AND NOT EXISTS (SELECT 1 FROM " + user_table + " WHERE " + key + "=? AND FUserID=?)";
  const std::string head = "INSERT INTO " + user_table + " (" + key + ",FUserID," + columns + ") SELECT " +
                           key + ",CAST(? AS INTEGER)," + columns + " FROM ";
  const Params params{Variant(user_id), Variant(id), Variant(id), Variant(user_id)};
  connection.Execute(head + std::string(level.template_table) + " WHERE " + key + "=?" + missing, params);
  connection.Execute(head + user_table + " WHERE FUserID=0 AND " + key + "=?" + missing, params);
}

// The name assignments: only the descriptor language's column, or all three.
void AssignName(const NodeLevel& level, bool language_column_only, std::string_view language_id,
                const std::string& name, std::vector<Assignment>* sets) {
  const std::string base(level.name_column);
  if (language_column_only) {
    sets->emplace_back(LanguageColumn(base, language_id), Variant(name));
    return;
  }
  for (const std::string& column : {base, base + "_CHT", base + "_EN"}) {
    sets->emplace_back(column, Variant(name));
  }
}

// 1 when the value is true, else 0; a Null value is not true.
int32_t FlagValue(const Dictionary& dict, std::string_view key) { return FlagValue(dict, key, Variant(true)); }

// The values every node update reads, each whether present or not.
struct NodeValues {
  int32_t visible = 1;
  std::string name;
  int32_t index = 0;
  int32_t show_sys_type = 0;
};

NodeValues ReadNodeValues(const Dictionary& dict, bool reads_show_sys_type) {
  NodeValues values;
  values.visible = FlagValue(dict, "Visible");
  values.name = CStr(dict.ValueOr("NewName", Variant("")));
  values.index = CLng(dict.ValueOr("Index", Variant(0)));
  if (reads_show_sys_type) values.show_sys_type = CLng(dict.ValueOr("FShowSysType", Variant(0)));
  return values;
}

// The user whose overlay rows change: "TemplateUserID" when not empty, else
// the caller.
int32_t TargetUserID(const std::shared_ptr<Dictionary>& dctInfo, const CDataSource& data_source) {
  return TemplateUserIDOr(dctInfo, CurrentUserID(data_source));
}

// The caller's stamp (or the template's) as every write bumps it; an overlay
// edit on behalf of another user also moves that user's stamp, so that user's
// cached levels do not outlive the edit.
void BumpStamps(const WriteRequest& request, bool template_mode, int32_t target_user) {
  BumpStamp(request.connection, request.parse, template_mode);
  if (!template_mode && target_user != request.parse.UserID()) {
    BumpUserStamp(request.connection, target_user);
  }
}

// The family of the three upper levels.
void UpdateNode(const NodeLevel& level, bool writes_show_sys_type, int32_t id, const Dictionary& dict,
                bool template_mode, const std::shared_ptr<Dictionary>& dctInfo, WriteRequest& request) {
  NodeValues values = ReadNodeValues(dict, writes_show_sys_type);
  // The target user matters in overlay mode only.
  int32_t user_id = template_mode ? 0 : TargetUserID(dctInfo, request.data_source);
  std::vector<Assignment> sets{{"FVisible", Variant(values.visible)}};
  if (template_mode) {
    AssignName(level, false, {}, values.name, &sets);
    sets.emplace_back("FIndex", Variant(values.index));
    if (writes_show_sys_type) sets.emplace_back("FShowSysType", Variant(values.show_sys_type));
    UpdateRow(request.connection, level.template_table, level, sets, id, nullptr);
  } else {
    CopyOnWrite(request.connection, level, id, user_id);
    AssignName(level, id < level.first_user_id, request.parse.LanguageID(), values.name, &sets);
    sets.emplace_back("FIndex", Variant(values.index));
    UpdateRow(request.connection, level.user_table, level, sets, id, &user_id);
  }
  BumpStamps(request, template_mode, user_id);
}

bool RowExists(const DbConnection& connection, const std::string& sql, const Params& params) {
  return !connection.Query(sql, params).Eof();
}

}  // namespace

void DatasUpdate::UpdateTopClass(std::string_view sDsn, int32_t lngTopClassID,
                                 const std::shared_ptr<Dictionary>& dict, bool blnTemplate,
                                 const std::shared_ptr<Dictionary>& dctInfo) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    UpdateNode(kTopClass, true, lngTopClassID, RequireDictionary(dict), blnTemplate, dctInfo, request);
  });
}

void DatasUpdate::UpdateSystemFunc(std::string_view sDsn, int32_t lngSystemID,
                                   const std::shared_ptr<Dictionary>& dict, bool blnTemplate,
                                   const std::shared_ptr<Dictionary>& dctInfo) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    UpdateNode(kSubSystem, true, lngSystemID, RequireDictionary(dict), blnTemplate, dctInfo, request);
  });
}

void DatasUpdate::UpdateSubSysFunc(std::string_view sDsn, int32_t lngSubFuncID,
                                   const std::shared_ptr<Dictionary>& dict, bool blnTemplate,
                                   const std::shared_ptr<Dictionary>& dctInfo) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    UpdateNode(kSubFunc, false, lngSubFuncID, RequireDictionary(dict), blnTemplate, dctInfo, request);
  });
}

void DatasUpdate::UpdateDetailFuncAttr(std::string_view sDsn, int32_t lngDetailID,
                                       const std::shared_ptr<Dictionary>& dict, bool blnTemplate,
                                       const std::shared_ptr<Dictionary>& dctInfo) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    const Dictionary& values = RequireDictionary(dict);
    int32_t visible = FlagValue(values, "Visible");
    std::string name = CStr(values.ValueOr("NewName", Variant("")));
    std::string help_code = CStr(values.ValueOr("HelpCode", Variant("")));
    int32_t enable = FlagValue(values, "Enable");
    int32_t index = CLng(values.ValueOr("Index", Variant(0)));
    bool func_type_given = values.Exists("FuncType");
    Variant class_value = values.ValueOr("ClassName", Variant(""));
    std::string class_name = class_value.IsNull() ? std::string() : CStr(class_value);
    int32_t user_id = blnTemplate ? 0 : TargetUserID(dctInfo, request.data_source);
    const DbConnection& connection = request.connection;

    std::vector<Assignment> sets;
    AssignName(kDetailFunc, lngDetailID < kDetailFunc.first_user_id, request.parse.LanguageID(), name, &sets);
    sets.emplace_back("FHelpCode", Variant(help_code));
    sets.emplace_back("FVisible", Variant(visible));
    sets.emplace_back("FIndex", Variant(index));
    sets.emplace_back("FEnable", Variant(enable));
    if (!TrimSpaces(class_name).empty()) sets.emplace_back("FClassName", Variant(class_name));

    if (blnTemplate) {
      // No such detail function: nothing to write, no stamp to move.
      if (!RowExists(connection, "SELECT 1 FROM t_DataFlowDetailFunc WHERE FDetailFuncID=?",
                     {Variant(lngDetailID)})) {
        return;
      }
      if (func_type_given) sets.emplace_back("FFuncType", Variant(16));
      UpdateRow(connection, kDetailFunc.template_table, kDetailFunc, sets, lngDetailID, nullptr);
    } else {
      CopyOnWrite(connection, kDetailFunc, lngDetailID, user_id);
      if (!RowExists(connection, "SELECT 1 FROM t_UserDetailFunc WHERE FDetailFuncID=? AND FUserID=?",
                     {Variant(lngDetailID), Variant(user_id)})) {
        // A new own row under the template's sub-function. Reading the
        // sub-function of a detail function the template lacks fails: there
        // is no current row.
        Recordset parent = connection.Query("SELECT FSubFuncID FROM t_DataFlowDetailFunc WHERE FDetailFuncID=?",
                                            {Variant(lngDetailID)});
        Variant sub_func_id = parent.Value("FSubFuncID");
        connection.Execute("INSERT INTO t_UserDetailFunc (FDetailFuncID,FUserID,FSubFuncID) VALUES (?,?,?)",
                           {Variant(lngDetailID), Variant(user_id), sub_func_id});
      }
      UpdateRow(connection, kDetailFunc.user_table, kDetailFunc, sets, lngDetailID, &user_id);
    }
    BumpStamps(request, blnTemplate, user_id);
  });
}

}  // namespace lxm

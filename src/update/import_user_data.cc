// DatasUpdate::ImportUserData: a saved layout (ExportUserData's container)
// replaces the caller's overlay.
//
// Every row is converted before anything is written, and the deletes, the
// inserts and the stamp bump run in the call's one transaction: a container
// that fails anywhere, in its shape, a value or the database, leaves the
// overlay and the stamps as they were.
#include <span>
#include <string>
#include <vector>

#include "core/globals.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "platform/recordset.h"
#include "update/datas_update.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

constexpr std::string_view kSource = "LXMDataFlow.DatasUpdate.ImportUserData";
constexpr std::string_view kInvalidFileText = "无效或错误的模板文件，请重新选择。";

enum class FieldKind {
  kNumber,  // IDs, parent IDs and indexes: CLng; Null or Empty fails
  kText,    // stored as given; Empty as ""
  kFlag,    // CBool, stored 1 or 0; Null is 0
};

struct ImportedField {
  std::string_view name;
  FieldKind kind;
};

struct ImportedLevel {
  std::string_view key;
  std::string_view remove;  // one parameter: the user ID
  std::string_view insert;  // the fields in order, then the user ID
  std::span<const ImportedField> fields;
};

constexpr ImportedField kTopClassFields[] = {
    {"FTopClassID", FieldKind::kNumber}, {"FTopClassName", FieldKind::kText},
    {"FTopClassName_EN", FieldKind::kText}, {"FTopClassName_CHT", FieldKind::kText},
    {"FIndex", FieldKind::kNumber},      {"FAcctType", FieldKind::kText},
    {"FVisible", FieldKind::kFlag},
};
constexpr ImportedField kSubSystemFields[] = {
    {"FSubSysID", FieldKind::kNumber},   {"FName", FieldKind::kText},   {"FName_CHT", FieldKind::kText},
    {"FName_EN", FieldKind::kText},      {"FTopClassID", FieldKind::kNumber}, {"FIndex", FieldKind::kNumber},
    {"FAcctType", FieldKind::kText},     {"FVisible", FieldKind::kFlag},
};
constexpr ImportedField kSubFuncFields[] = {
    {"FSubFuncID", FieldKind::kNumber}, {"FSubSysID", FieldKind::kNumber},   {"FIndex", FieldKind::kNumber},
    {"FFuncName", FieldKind::kText},    {"FFuncName_CHT", FieldKind::kText}, {"FFuncName_EN", FieldKind::kText},
    {"FVisible", FieldKind::kFlag},
};
constexpr ImportedField kDetailFuncFields[] = {
    {"FDetailFuncID", FieldKind::kNumber}, {"FFuncName", FieldKind::kText},  {"FFuncName_CHT", FieldKind::kText},
    {"FFuncName_EN", FieldKind::kText},    {"FSubFuncID", FieldKind::kNumber}, {"FIndex", FieldKind::kNumber},
    {"FClassName", FieldKind::kText},      {"FClassParam", FieldKind::kText}, {"FVisible", FieldKind::kFlag},
    {"FHelpCode", FieldKind::kText},       {"FEnable", FieldKind::kFlag},
};

// In the order the batch runs: parents before children.
constexpr ImportedLevel kImportedLevels[] = {
    {"TopClass", "DELETE FROM t_UserTopClass WHERE FUserID = ?",
     "INSERT INTO t_UserTopClass (FTopClassID, FTopClassName, FTopClassName_EN, FTopClassName_CHT, FIndex, "
     "FAcctType, FVisible, FUserID) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
     kTopClassFields},
    {"SubSystem", "DELETE FROM t_UserSubSystem WHERE FUserID = ?",
     "INSERT INTO t_UserSubSystem (FSubSysID, FName, FName_CHT, FName_EN, FTopClassID, FIndex, FAcctType, "
     "FVisible, FUserID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
     kSubSystemFields},
    {"SubFunc", "DELETE FROM t_UserSubFunc WHERE FUserID = ?",
     "INSERT INTO t_UserSubFunc (FSubFuncID, FSubSysID, FIndex, FFuncName, FFuncName_CHT, FFuncName_EN, "
     "FVisible, FUserID) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
     kSubFuncFields},
    {"DetailFunc", "DELETE FROM t_UserDetailFunc WHERE FUserID = ?",
     "INSERT INTO t_UserDetailFunc (FDetailFuncID, FFuncName, FFuncName_CHT, FFuncName_EN, FSubFuncID, FIndex, "
     "FClassName, FClassParam, FVisible, FHelpCode, FEnable, FUserID) "
     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
     kDetailFuncFields},
};

Variant Converted(const Variant& value, FieldKind kind) {
  switch (kind) {
    case FieldKind::kNumber:
      // A missing number would have left the statement without a value.
      if (value.IsNull() || value.IsEmpty()) throw RuntimeError(errors::kInvalidUseOfNull);
      return Variant(CLng(value));
    case FieldKind::kText:
      if (value.IsNull()) return value;
      return Variant(CStr(value));
    case FieldKind::kFlag:
      return Variant(int32_t{!value.IsNull() && CBool(value) ? 1 : 0});
  }
  return value;
}

// The parameters of every insert of one level: the recordset's rows from its
// current position on (the caller's cursor is not moved), the user last.
std::vector<Params> LevelRows(Recordset rows, const ImportedLevel& level, int32_t user_id) {
  std::vector<Params> converted;
  if (rows.Eof()) return converted;
  std::vector<size_t> columns;
  for (const ImportedField& field : level.fields) {
    int index = rows.FieldIndex(field.name);
    if (index < 0) rows.Value(field.name);  // raises the data layer's missing-field error
    columns.push_back(static_cast<size_t>(index));
  }
  converted.reserve(static_cast<size_t>(rows.RecordCount()));
  for (; !rows.Eof(); rows.MoveNext()) {
    Params params;
    params.reserve(columns.size() + 1);
    for (size_t i = 0; i < columns.size(); ++i) {
      params.push_back(Converted(rows.Value(columns[i]), level.fields[i].kind));
    }
    params.emplace_back(user_id);
    converted.push_back(std::move(params));
  }
  return converted;
}

}  // namespace

void DatasUpdate::ImportUserData(std::string_view sDsn, const std::shared_ptr<Dictionary>& oDict) {
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    int32_t user_id = request.parse.UserID();
    auto invalid_file = [&] {
      return ComError(errors::kInvalidCall, std::string(kSource),
                      LoadResString(kInvalidFileText, request.parse.LanguageID(), runtime_->components()));
    };
    // Every level key is checked before any row is read.
    if (oDict == nullptr) throw invalid_file();
    for (const ImportedLevel& level : kImportedLevels) {
      if (!oDict->Exists(level.key)) throw invalid_file();
    }
    std::vector<std::vector<Params>> levels;
    for (const ImportedLevel& level : kImportedLevels) {
      const Variant& value = oDict->Item(level.key);
      if (value.kind() != VariantKind::kRecordset || value.AsRecordset() == nullptr) throw invalid_file();
      levels.push_back(LevelRows(*value.AsRecordset(), level, user_id));
    }

    const DbConnection& connection = request.connection;
    for (const ImportedLevel& level : kImportedLevels) connection.Execute(level.remove, {Variant(user_id)});
    for (size_t i = 0; i < levels.size(); ++i) {
      for (const Params& row : levels[i]) connection.Execute(kImportedLevels[i].insert, row);
    }
    // User 0's rows are the shared default every user's view merges.
    if (user_id == 0) {
      BumpEveryStamp(connection, /*with_template=*/false);
    } else {
      BumpStamp(connection, request.parse, /*template_stamp=*/false);
    }
  });
}

}  // namespace lxm

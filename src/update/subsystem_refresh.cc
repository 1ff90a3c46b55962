// DatasUpdate::RefreshSubFunc and RefreshActivFunc: the sub-functions of a
// subsystem brought in line with the list its own component gives.
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/globals.h"
#include "platform/call_scope.h"
#include "platform/db_connection.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "platform/db/parameter_spec.h"
#include "platform/log.h"
#include "platform/refresh_component.h"
#include "platform/text_util.h"
#include "tree/installed_modules.h"
#include "update/datas_update.h"
#include "update/detail_items.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

// Items past this position are ignored.
constexpr int32_t kLastPosition = 99;
// Sub-functions a user created have IDs from here on; a refresh keeps them.
constexpr int32_t kFirstUserSubFuncID = 10000000;
constexpr int32_t kSubsystemNode = 2;
constexpr int32_t kRefreshSubFuncs = 2;
constexpr int32_t kRefreshDetailFuncs = 3;

// Subsystem, twice where the user's rows are meant.
constexpr std::string_view kDeleteTemplateDetails =
    "DELETE FROM t_DataFlowDetailFunc WHERE FDetailFuncID IN (SELECT C.FDetailFuncID "
    "FROM t_DataFlowSubSystem A, t_DataFlowSubFunc B, t_DataFlowDetailFunc C "
    "WHERE A.FSubSysID=? AND A.FSubSysID=B.FSubSysID AND B.FSubFuncID=C.FSubFuncID)";
constexpr std::string_view kDeleteTemplateSubFuncs =
    "DELETE FROM t_DataFlowSubFunc WHERE FSubFuncID IN (SELECT B.FSubFuncID "
    "FROM t_DataFlowSubSystem A, t_DataFlowSubFunc B WHERE A.FSubSysID=? AND A.FSubSysID=B.FSubSysID)";
// Subsystem, user. The user's rows of the template's detail functions.
constexpr std::string_view kDeleteUserDetails =
    "DELETE FROM t_UserDetailFunc WHERE FDetailFuncID IN (SELECT C.FDetailFuncID "
    "FROM t_DataFlowSubSystem A, t_DataFlowSubFunc B, t_DataFlowDetailFunc C "
    "WHERE A.FSubSysID=? AND A.FSubSysID=B.FSubSysID AND B.FSubFuncID=C.FSubFuncID) AND FUserID=?";
// Subsystem, first user ID, user.
constexpr std::string_view kDeleteUserSubFuncs =
    "DELETE FROM t_UserSubFunc WHERE FSubSysID=? AND FSubFuncID<? AND FUserID=?";
// Visibility, sub-function: the template's row whatever the mode.
constexpr std::string_view kSetVisible = "UPDATE t_DataFlowSubFunc SET FVisible=? WHERE FSubFuncID=?";

constexpr std::string_view kRefreshableSubsystems =
    "SELECT FSubSysID, FSubID FROM t_DataFlowSubSystem WHERE FRefresh=1 ORDER BY FSubSysID";
constexpr std::string_view kSubsystemRow = "SELECT * FROM t_DataFlowSubSystem WHERE FSubSysID=?";

// Runs one step of a refresh under a savepoint: a failure undoes the step,
// is logged and the refresh goes on.
void RunStep(const WriteRequest& request, std::string_view what, const std::function<void()>& step) {
  RunSkippingFailure(request.connection.transaction(), step, [&](const std::exception& failure) {
    LogLine("RefreshSubFunc (user " + request.parse.GetProperty("UserID") + "): skipped " + std::string(what) +
            ": " + failure.what());
  });
}

void SetVisibility(const WriteRequest& request, const Vector& list) {
  for (const Variant& entry : list.items()) {
    RunStep(request, "a visibility update", [&] {
      const Dictionary& item = detail_items::AsItem(entry);
      bool visible = CBool(item.ValueOr("FVisible", Variant(true)));
      int32_t sub_func_id = CLng(item.ValueOr("FSubFuncID", Variant(0)));
      std::shared_ptr<Vector> specs = Vector::Create();
      specs->Append(Variant(MakeParameterSpec(kParamInteger, 4, Variant(visible ? 1 : 0))));
      specs->Append(Variant(MakeParameterSpec(kParamInteger, 4, Variant(sub_func_id))));
      Params params;
      AppendCommandParameters(params, Variant(specs));
      request.connection.Execute(kSetVisible, params);
    });
  }
}

void ReplaceSubFuncs(const WriteRequest& request, int32_t sub_system_id, const Vector* list, bool template_mode) {
  const DbConnection& connection = request.connection;
  const Variant subsystem(sub_system_id);
  if (template_mode) {
    RunStep(request, "the delete of the detail functions",
            [&] { connection.Execute(kDeleteTemplateDetails, {subsystem}); });
    RunStep(request, "the delete of the sub-functions",
            [&] { connection.Execute(kDeleteTemplateSubFuncs, {subsystem}); });
  } else {
    const Variant user(request.parse.UserID());
    RunStep(request, "the delete of the detail functions",
            [&] { connection.Execute(kDeleteUserDetails, {subsystem, user}); });
    RunStep(request, "the delete of the sub-functions", [&] {
      connection.Execute(kDeleteUserSubFuncs, {subsystem, Variant(kFirstUserSubFuncID), user});
    });
  }
  if (list == nullptr) return;
  int32_t position = 0;
  for (const Variant& entry : list->items()) {
    if (++position > kLastPosition) break;
    RunStep(request, "the insert of item " + std::to_string(position), [&] {
      detail_items::InsertSubFunc(request, sub_system_id, position, detail_items::AsItem(entry), template_mode);
    });
  }
}

}  // namespace

void DatasUpdate::RefreshSubFunc(std::string_view sDsn, int32_t lSubSystemID, const std::shared_ptr<Vector>& oVect,
                                 bool bDelAll, bool blnTemplate) {
  // No abort vote at entry: the steps stand alone, and what succeeded is
  // kept whatever fails after it.
  RunStepwiseWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    if (bDelAll) {
      ReplaceSubFuncs(request, lSubSystemID, oVect.get(), blnTemplate);
    } else {
      if (oVect != nullptr) SetVisibility(request, *oVect);
      // The update wrote the template, whatever the mode: its readers must
      // see it too.
      if (!blnTemplate) BumpStamp(request.connection, request.parse, /*template_stamp=*/true);
    }
    BumpStamp(request.connection, request.parse, blnTemplate);
  });
}

void DatasUpdate::RefreshActivFunc(std::string_view sDsn) {
  // The components are asked first, in a read of their own: a component may
  // take its time (a callout waits up to its time limit) or call back into
  // this service, and neither may happen while the write lock is held.
  std::vector<PendingRefresh> pending;
  try {
    RunInCallScope(*runtime_, /*writes=*/false, [&] {
      context_ = PrepareContext(*runtime_, sDsn);
      DbConnection connection = context_.data_source->Connection();
      Recordset subsystems = connection.Query(kRefreshableSubsystems);
      for (; !subsystems.Eof(); subsystems.MoveNext()) {
        const Variant& modules = subsystems.Value("FSubID");
        bool present = modules.IsNull() || TrimSpaces(CStr(modules)).empty() ||
                       IsModuleInstalled(*runtime_, CStr(modules));
        if (!present) continue;
        std::shared_ptr<Dictionary> dictionary = Dictionary::Create();
        if (GetRefreshNodeInfo(connection, CLng(subsystems.Value("FSubSysID")), kSubsystemNode, dictionary)) {
          dictionary->Set("FRefreshType", Variant(kRefreshSubFuncs));
          if (std::optional<PendingRefresh> refresh = AskRefreshComponent(dictionary)) {
            pending.push_back(std::move(*refresh));
          }
        }
      }
    });
  } catch (const std::exception& failure) {
    LogSwallowedFailure("RefreshActivFunc", &context_, failure);
    return;
  }
  RunSwallowingWrite(
      *runtime_, context_, sDsn,
      [&](WriteRequest&) {
        for (PendingRefresh& refresh : pending) ApplyRefresh(sDsn, refresh);
      },
      "RefreshActivFunc");
}

bool DatasUpdate::GetRefreshNodeInfo(const DbConnection& connection, int32_t node_id, int32_t node_type,
                                     std::shared_ptr<Dictionary>& dictionary) {
  if (node_type != kSubsystemNode) return false;
  Recordset row = connection.Query(kSubsystemRow, {Variant(node_id)});
  if (row.Eof()) return false;
  dictionary = RecordToDictionary(row);
  const Variant& refresh = row.Value("FRefresh");
  return !refresh.IsNull() && CBool(refresh);
}

std::optional<DatasUpdate::PendingRefresh> DatasUpdate::AskRefreshComponent(
    const std::shared_ptr<Dictionary>& dictionary) {
  try {
    std::string prog_id = CStr(dictionary->ValueOr("FClassName", Variant("")));
    std::shared_ptr<RefreshComponent> component = runtime_->components().CreateAs<RefreshComponent>(prog_id);
    Variant changed(dictionary);
    Variant list = component->GetRefreshFunc(changed);
    PendingRefresh refresh;
    refresh.dictionary = changed.AsDictionary();
    if (refresh.dictionary == nullptr) throw RuntimeError(errors::kTypeMismatch);
    refresh.items = list.IsNothing() || list.IsNull() ? Vector::Create() : list.AsVector();
    return refresh;
  } catch (const std::exception& failure) {
    LogSwallowedFailure("RefreshNodeByClass", &context_, failure);
    return std::nullopt;
  }
}

void DatasUpdate::ApplyRefresh(std::string_view sDsn, const PendingRefresh& refresh) {
  // Under a savepoint: a failure keeps nothing of this subsystem.
  RunSkippingFailure(
      context_.data_source->Connection().transaction(),
      [&] {
        const Dictionary& dictionary = *refresh.dictionary;
        // Only "DelAll" has a default; a missing key raises and the trap
        // keeps nothing of this subsystem.
        bool delete_all = CBool(dictionary.ValueOr("DelAll", Variant(true)));
        switch (CLng(dictionary.Item("FRefreshType"))) {
          case kRefreshSubFuncs:
            RefreshSubFunc(sDsn, CLng(dictionary.Item("FSubSysID")), refresh.items, delete_all,
                           true);
            break;
          case kRefreshDetailFuncs:
            RefreshDetailFunc(sDsn, CLng(dictionary.Item("FSubFuncID")), refresh.items, delete_all,
                              true);
            break;
          default:
            break;
        }
      },
      [&](const std::exception& failure) { LogSwallowedFailure("RefreshNodeByClass", &context_, failure); });
}

}  // namespace lxm

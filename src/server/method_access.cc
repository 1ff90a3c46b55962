#include "server/method_access.h"

#include <exception>
#include <memory>
#include <string>

#include "core/request_context.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "platform/dictionary.h"
#include "platform/text_util.h"
#include "server/request_error.h"
#include "update/dictionary_values.h"

namespace lxm::server {

namespace {

constexpr std::string_view kInfo = "LXMDataFlow.DatasInfo";
constexpr std::string_view kUpdate = "LXMDataFlow.DatasUpdate";
constexpr std::string_view kSnapshots = "LXMDataFlow.clsDataInfo";

using enum AccessClass;

// The one table. Why a method is where it is, where it is not plain:
// - reads of the template (GetTemplate, GetRecordset with blnTemplate) show
//   what every user sees anyway, so they count as the caller's own reads;
// - IsReFreshBaseData clears the flag it reads, but only as the client's
//   own acknowledgement of it, so it stays a read;
// - GetDetailNormalFunc filters by the caller's user; GetNormalFunc does not;
// - the renames always write the template;
// - DelNormalFunc empties every user's favourites of a function, and
//   SetDetailFuncNotNormal clears the template's favourite mark;
// - CreateSubSys also writes the suite's subsystem catalogue and renumbers
//   other tables, in either mode; DeleteItem's overlay mode deletes the
//   shared default's rows (user 0) as well as the caller's;
// - SetDefault drops shared-default rows and moves every user's stamp;
//   ApplyAllUser rewrites other users' overlays.
constexpr MethodAccess kTable[] = {
    {kSnapshots, "GetTemplate", kOwnUser},
    {kSnapshots, "GetUserData", kOwnUser},
    {kSnapshots, "GetTemplateVer", kOwnUser},
    {kSnapshots, "GetUserTemplateVer", kOwnUser},

    {kInfo, "GetTopClass", kOwnUser},
    {kInfo, "GetTopClass_All", kOwnUser},
    {kInfo, "GetSubSystem", kOwnUser},
    {kInfo, "GetSubSystem_All", kOwnUser},
    {kInfo, "GetSubFunc", kOwnUser},
    {kInfo, "GetSubFunc_All", kOwnUser},
    {kInfo, "GetDetailFunc", kOwnUser},
    {kInfo, "GetDetailFunc_All", kOwnUser},
    {kInfo, "GetDetailFuncInfo", kOwnUser},
    {kInfo, "GetSubSystemHelp", kOwnUser},
    {kInfo, "GetNormalFuncGroup", kOwnUser},
    {kInfo, "GetNormalFunc", kFavouriteGroup, "lngGroupID"},
    {kInfo, "GetDetailNormalFunc", kOwnUser},
    {kInfo, "GetHelpCodeInfo", kOwnUser},
    {kInfo, "GetPicInfo", kInstallation},
    {kInfo, "GetPatchLst", kInstallation},
    {kInfo, "GetPatchFile", kInstallation},
    {kInfo, "FileExists", kInstallation},
    {kInfo, "GetFileSize", kInstallation},
    {kInfo, "FileToVariant", kInstallation},
    {kInfo, "GetSubSysClass", kOwnUser},
    {kInfo, "GetSubSysName", kOwnUser},
    {kInfo, "IsHasChild", kOwnUser},
    {kInfo, "GetNextIndex", kOwnUser},
    {kInfo, "GetNextID", kOwnUser},
    {kInfo, "IsReFreshBaseData", kOwnUser},
    {kInfo, "GetProfileValue", kOwnUser},
    {kInfo, "IsRefreshNode", kOwnUser},
    {kInfo, "GetSubSystemInfo", kOwnUser},
    {kInfo, "IsSetEnable", kOwnUser},
    {kInfo, "GetAcctShowName", kOwnUser},
    {kInfo, "GetRecordset", kOwnUser},
    {kInfo, "GetUserNormalLst", kOwnUser},
    {kInfo, "ExportUserData", kOwnUser},

    {kUpdate, "UpdateTopClass", kOwnUserOrTemplate},
    {kUpdate, "UpdateSystemFunc", kOwnUserOrTemplate},
    {kUpdate, "UpdateSubSysFunc", kOwnUserOrTemplate},
    {kUpdate, "UpdateDetailFuncAttr", kOwnUserOrTemplate},
    {kUpdate, "UpdateTopClassName", kAdministration},
    {kUpdate, "UpdateSystemFuncName", kAdministration},
    {kUpdate, "UpdateSystemHelpFile", kAdministration},
    {kUpdate, "UpdateSubSysFuncName", kAdministration},
    {kUpdate, "UpdateAcctTypeName", kAdministration},
    {kUpdate, "UpdateDetailFunc", kAdministration},
    {kUpdate, "AppendNormalItem", kFavouriteGroup, "lngFuncGroupID"},
    {kUpdate, "AddNormalItem", kFavouriteGroup, "lngFuncGroupID"},
    {kUpdate, "DelNormalFunc", kAdministration},
    {kUpdate, "ClearNormalList", kFavouriteGroup, "lngFuncGroupID"},
    {kUpdate, "AddNormalFuncGroup", kOwnUser},
    {kUpdate, "DelNormalFuncGroup", kFavouriteGroup, "lngFuncGroupID"},
    {kUpdate, "UpdateNormalFuncGroup", kFavouriteGroup, "lngGroupID"},
    {kUpdate, "SetDetailFuncNotNormal", kAdministration},
    {kUpdate, "SetProfileValue", kOwnUser},
    {kUpdate, "ExecCmd", kAdministration},
    {kUpdate, "GetActiveXFilePath", kInstallation},
    {kUpdate, "RegMiddle", kAdministration},
    {kUpdate, "CreateSubSys", kAdministration},
    {kUpdate, "CreateTopClass", kOwnUserOrTemplate},
    {kUpdate, "DeleteItem", kAdministration},
    {kUpdate, "SetDefault", kAdministration},
    {kUpdate, "ApplyAllUser", kAdministration},
    {kUpdate, "RefreshDetailFunc", kAdministration},
    {kUpdate, "CreateDetailFunc", kOwnUserOrTemplate},
    {kUpdate, "CreateSubFunc", kOwnUserOrTemplate},
    {kUpdate, "ImportUserData", kOwnUser},
    {kUpdate, "RefreshSubFunc", kAdministration},
    {kUpdate, "RefreshActivFunc", kAdministration},
    {kUpdate, "ReFreshStatus", kAdministration},
    {kUpdate, "UpdateFuncEnable", kAdministration},
    {kUpdate, "UpdateSysBaseData", kAdministration},
};

[[noreturn]] void Forbid(std::string_view method, const std::string& why) {
  throw RequestError(403, "forbidden", std::string(method) + " refused: " + why);
}

int ParamIndex(const MethodInfo& method, std::string_view name) {
  for (size_t i = 0; i < method.params.size(); ++i) {
    if (EqualsIgnoreCase(method.params[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::string UserText(const Caller& caller) { return "user " + std::to_string(caller.user_id); }

// The descriptor must name the token's user. One that does not parse goes to
// the method, which fails on it before it opens anything: false then.
bool CheckDescriptorUser(const Caller& caller, const MethodInfo& method, const Arguments& args) {
  int index = method.DescriptorIndex();
  if (index < 0) Forbid(method.name, "a user token may call it only with a descriptor naming its user");
  std::shared_ptr<CParse> parse;
  try {
    parse = ParseDescriptor(CStr(args[static_cast<size_t>(index)]));
  } catch (const ComError&) {
    return false;
  }
  int32_t named = 0;
  try {
    named = parse->UserID();
  } catch (const ComError&) {
    Forbid(method.name, "the descriptor names no user ID, and the token is " + UserText(caller) + "'s");
  }
  if (named != caller.user_id) {
    Forbid(method.name, "the descriptor names user " + std::to_string(named) + ", but the token is " +
                            UserText(caller) + "'s and not an administrator's");
  }
  return true;
}

// Template mode, or another user's overlay through "TemplateUserID".
void CheckOverlayMode(const Caller& caller, const MethodInfo& method, const Arguments& args) {
  int flag = ParamIndex(method, "blnTemplate");
  if (flag >= 0) {
    bool template_mode = false;
    try {
      template_mode = CBool(args[static_cast<size_t>(flag)]);
    } catch (const ComError&) {
      template_mode = true;  // unreadable: refuse rather than guess
    }
    if (template_mode) Forbid(method.name, "writing the template (blnTemplate true) needs an administrator token");
  }
  int options = ParamIndex(method, "dctInfo");
  if (options < 0) return;
  const auto* info = args[static_cast<size_t>(options)].TryGet<std::shared_ptr<Dictionary>>();
  if (info == nullptr) return;
  std::optional<int32_t> target;
  try {
    target = TemplateUserID(*info);
  } catch (const ComError&) {
    Forbid(method.name, "dctInfo's TemplateUserID is not a user ID");
  }
  if (target && *target != caller.user_id) {
    Forbid(method.name, "dctInfo's TemplateUserID names user " + std::to_string(*target) +
                            "; writing another user's overlay needs an administrator token");
  }
}

}  // namespace

std::span<const MethodAccess> MethodAccessTable() { return kTable; }

const MethodAccess* FindMethodAccess(std::string_view prog_id, std::string_view method) {
  for (const MethodAccess& entry : kTable) {
    if (EqualsIgnoreCase(entry.prog_id, prog_id) && EqualsIgnoreCase(entry.method, method)) return &entry;
  }
  return nullptr;
}

std::optional<int32_t> CheckAccess(const Caller& caller, std::string_view prog_id, const MethodInfo& method,
                                   const Arguments& args) {
  if (caller.role == Role::kAdministrator) return std::nullopt;
  const MethodAccess* entry = FindMethodAccess(prog_id, method.name);
  if (entry == nullptr) Forbid(method.name, "it is open to administrator tokens only");
  switch (entry->access) {
    case kInstallation:
      return std::nullopt;
    case kAdministration:
      Forbid(method.name, "it is an administrative operation and the token is " + UserText(caller) +
                              "'s, not an administrator's");
    case kOwnUser:
      CheckDescriptorUser(caller, method, args);
      return std::nullopt;
    case kOwnUserOrTemplate:
      // Template mode is refused even with a descriptor that does not parse.
      CheckDescriptorUser(caller, method, args);
      CheckOverlayMode(caller, method, args);
      return std::nullopt;
    case kFavouriteGroup: {
      if (!CheckDescriptorUser(caller, method, args)) return std::nullopt;
      int index = ParamIndex(method, entry->group_param);
      if (index < 0) Forbid(method.name, "its favourite group cannot be told");
      int32_t group = CLng(args[static_cast<size_t>(index)]);
      if (group == -1) return std::nullopt;
      return group;
    }
  }
  Forbid(method.name, "it is open to administrator tokens only");
}

void CheckGroupOwner(const Caller& caller, std::string_view method, int32_t group,
                     std::optional<int32_t> owner) {
  // One answer for a group of another user and for no group at all, so that
  // the reply tells nothing of other users' groups.
  if (!owner || *owner != caller.user_id) {
    Forbid(method, "favourite group " + std::to_string(group) + " is not one of " + UserText(caller) +
                       "'s groups, and the token is not an administrator's");
  }
}

}  // namespace lxm::server

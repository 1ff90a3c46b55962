// DatasUpdate: commands on the server and the registration of components,
// read from the file-backed registry and run only as the configuration allows.
#include "environment/installation_paths.h"
#include "platform/command_runner.h"
#include "platform/convert.h"
#include "platform/registry.h"
#include "platform/text_util.h"
#include "update/datas_update.h"

namespace lxm {

namespace {

constexpr std::string_view kMiddlewareKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQMIDDLEWARE";
// A class the server manager library registers; its file tells where the
// middleware is registered from.
constexpr std::string_view kServerManagerProbe = "ZQSvrMgr.ServerManager";

}  // namespace

void DatasUpdate::ExecCmd(std::string& cmdline) { RunAllowedCommand(runtime_->commands(), cmdline); }

std::string DatasUpdate::GetActiveXFilePath(const std::string& strProgID, bool bInProcess) {
  std::shared_ptr<RegistryReader> registry = runtime_->components().CreateAs<RegistryReader>(RegistryReader::kProgID);
  std::string clsid = CStr(registry->ReadValue("HKEY_CLASSES_ROOT\\" + strProgID + "\\Clsid", "", Variant("")));
  if (clsid.empty()) return "";
  std::string server = bInProcess ? "\\InprocServer32" : "\\LocalServer32";
  return CStr(registry->ReadValue("HKEY_CLASSES_ROOT\\CLSID\\" + clsid + server, "", Variant("")));
}

bool DatasUpdate::RegMiddle(const Variant& sR8Version) {
  try {
    InstallationPaths paths(*runtime_);
    std::string key = paths.AppendEditionKey(kMiddlewareKey, CStr(sR8Version));
    std::shared_ptr<RegistryReader> registry = runtime_->components().CreateAs<RegistryReader>(RegistryReader::kProgID);
    std::string dir = CStr(registry->ReadValue(key, "path", Variant("")));
    std::string registered = GetActiveXFilePath(std::string(kServerManagerProbe), true);
    if (EqualsIgnoreCase(registered, dir + "/zqsvrmgr.dll")) return true;
    std::string commands[] = {
        dir + "/Pakrun.exe AddOnePackage-zqsvrmgr",
        dir + "/Pakrun.exe AddOnePackage-oxasystem",
        dir + "/Halvex.exe /regserver",
        "regsvr32.exe /s \"" + dir + "/LXMUsrMgr.dll\"",
    };
    for (std::string& command : commands) ExecCmd(command);
    return true;
  } catch (const std::exception&) {
    return false;  // never reported; commands already run stay done
  }
}

}  // namespace lxm

#include "server/methods_installation.h"

#include "info/datas_info.h"
#include "update/datas_update.h"

namespace lxm::server {

void AddDatasInfoInstallationMethods(ClassInfo& info) {
  using enum ValueType;
  info.Add({"GetPicInfo", {}, kVector,
            [](Runtime& runtime, Arguments&) { return Variant(DatasInfo(runtime).GetPicInfo()); }});
  info.Add({"GetPatchLst", {}, kDictionary,
            [](Runtime& runtime, Arguments&) { return Variant(DatasInfo(runtime).GetPatchLst()); }});
  info.Add({"GetPatchFile", {Ref("dctPatch", kDictionary)}, kDictionary,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).GetPatchFile(args[0].AsDictionary()));
            }});
  info.Add({"FileExists", {In("strFilePath", kString)}, kBoolean,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).FileExists(args[0].AsString()));
            }});
  info.Add({"GetFileSize", {In("strFilePath", kString)}, kLong,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).GetFileSize(args[0].AsString()));
            }});
  info.Add({"FileToVariant", {In("strLocalFile", kString)}, kVariant,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).FileToVariant(args[0].AsString()));
            }});
}

void AddDatasUpdateInstallationMethods(ClassInfo& info) {
  using enum ValueType;
  info.Add({"ExecCmd", {Ref("cmdline", kString)}, kVoid,
            [](Runtime& runtime, Arguments& args) {
              std::string cmdline = args[0].AsString();
              DatasUpdate(runtime).ExecCmd(cmdline);
              args[0] = Variant(cmdline);
              return Variant();
            }});
  info.Add({"GetActiveXFilePath", {In("strProgID", kString), Optional("bInProcess", kBoolean, Variant(true))},
            kString,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasUpdate(runtime).GetActiveXFilePath(args[0].AsString(), args[1].AsBool()));
            }});
  info.Add({"RegMiddle", {In("sR8Version", kVariant)}, kBoolean,
            [](Runtime& runtime, Arguments& args) { return Variant(DatasUpdate(runtime).RegMiddle(args[0])); }});
}

}  // namespace lxm::server

#include "server/methods_installation.h"

#include "info/datas_info.h"

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

}  // namespace lxm::server

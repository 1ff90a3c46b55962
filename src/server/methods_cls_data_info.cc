// Type library entries of clsDataInfo ("LXMDataFlow.clsDataInfo").
#include "server/type_library.h"
#include "tree/cls_data_info.h"

namespace lxm::server {

void AddClsDataInfoMethods(ClassInfo& info) {
  using enum ValueType;
  info.Add({"GetTemplate", {In("sDsn", kString)}, kDictionary,
            [](Runtime& runtime, Arguments& args) {
              return Variant(clsDataInfo(runtime).GetTemplate(args[0].AsString()));
            }});
  info.Add({"GetUserData", {In("sDsn", kString)}, kDictionary,
            [](Runtime& runtime, Arguments& args) {
              return Variant(clsDataInfo(runtime).GetUserData(args[0].AsString()));
            }});
  info.Add({"GetTemplateVer", {In("sDsn", kString)}, kString,
            [](Runtime& runtime, Arguments& args) {
              return Variant(clsDataInfo(runtime).GetTemplateVer(args[0].AsString()));
            }});
  info.Add({"GetUserTemplateVer", {In("sDsn", kString)}, kString,
            [](Runtime& runtime, Arguments& args) {
              return Variant(clsDataInfo(runtime).GetUserTemplateVer(args[0].AsString()));
            }});
}

}  // namespace lxm::server

// Type library entries of the bulk reads and the layout import.
#include "server/methods_bulk.h"

#include "info/datas_info.h"
#include "update/datas_update.h"

namespace lxm::server {

void AddDatasInfoBulkMethods(ClassInfo& info) {
  using enum ValueType;
  // vNames is by reference, as clients of the interface know it; the method
  // never changes it.
  info.Add({"GetRecordset", {In("sDsn", kString), Ref("vNames", kVariant), In("blnTemplate", kBoolean)},
            kDictionary,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).GetRecordset(args[0].AsString(), args[1], args[2].AsBool()));
            }});
  info.Add({"GetUserNormalLst", {In("sDsn", kString)}, kRecordset,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).GetUserNormalLst(args[0].AsString()));
            }});
  info.Add({"ExportUserData", {In("sDsn", kString)}, kDictionary,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).ExportUserData(args[0].AsString()));
            }});
}

void AddDatasUpdateImportMethods(ClassInfo& info) {
  using enum ValueType;
  info.Add({"ImportUserData", {In("sDsn", kString), In("oDict", kDictionary)}, kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).ImportUserData(args[0].AsString(), args[1].AsDictionary());
              return Variant();
            }});
}

}  // namespace lxm::server

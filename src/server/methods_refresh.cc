// Type library entries of DatasUpdate's refresh from subsystem components
// and of the enable flags.
#include "server/methods_tree_edits.h"
#include "update/datas_update.h"

namespace lxm::server {

void AddDatasUpdateRefreshMethods(ClassInfo& info) {
  using enum ValueType;
  // blnTemplate is declared by reference, as clients know it; it is never
  // changed.
  info.Add({"RefreshSubFunc",
            {In("sDsn", kString), In("lSubSystemID", kLong), In("oVect", kVector),
             Optional("bDelAll", kBoolean, Variant(true)), OptionalRef("blnTemplate", kBoolean, Variant(true))},
            kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).RefreshSubFunc(args[0].AsString(), args[1].AsLong(), args[2].AsVector(),
                                                  args[3].AsBool(), args[4].AsBool());
              return Variant();
            }});
  info.Add({"RefreshActivFunc", {In("sDsn", kString)}, kVoid, [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).RefreshActivFunc(args[0].AsString());
              return Variant();
            }});
  info.Add({"ReFreshStatus", {In("sDsn", kString), Ref("lSubFuncID", kLong), Ref("lStatus", kLong)}, kVoid,
            [](Runtime& runtime, Arguments& args) {
              int32_t sub_func_id = args[1].AsLong();
              int32_t status = args[2].AsLong();
              DatasUpdate(runtime).ReFreshStatus(args[0].AsString(), sub_func_id, status);
              args[1] = Variant(sub_func_id);
              args[2] = Variant(status);
              return Variant();
            }});
  info.Add({"UpdateFuncEnable", {In("sDsn", kString), Ref("lDetailFuncID", kLong)}, kVoid,
            [](Runtime& runtime, Arguments& args) {
              int32_t detail_id = args[1].AsLong();
              DatasUpdate(runtime).UpdateFuncEnable(args[0].AsString(), detail_id);
              args[1] = Variant(detail_id);
              return Variant();
            }});
  info.Add({"UpdateSysBaseData", {In("sDsn", kString)}, kVoid, [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).UpdateSysBaseData(args[0].AsString());
              return Variant();
            }});
}

}  // namespace lxm::server

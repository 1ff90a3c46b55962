// Type library entries of DatasUpdate's detail-function synchronisation and
// creation.
#include "server/methods_tree_edits.h"
#include "update/datas_update.h"

namespace lxm::server {

void AddDatasUpdateDetailSyncMethods(ClassInfo& info) {
  using enum ValueType;
  // blnTemplate is declared by reference, as clients know it; it is never
  // changed. Note its default: true here, false for the two creations.
  info.Add({"RefreshDetailFunc",
            {In("sDsn", kString), In("lSubFuncID", kLong), In("oVect", kVector),
             Optional("bDelAll", kBoolean, Variant(true)), OptionalRef("blnTemplate", kBoolean, Variant(true))},
            kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).RefreshDetailFunc(args[0].AsString(), args[1].AsLong(), args[2].AsVector(),
                                                     args[3].AsBool(), args[4].AsBool());
              return Variant();
            }});
  info.Add({"CreateDetailFunc",
            {In("sDsn", kString), In("lSubFuncID", kLong), In("lIndex", kLong), In("oDict", kDictionary),
             Optional("blnTemplate", kBoolean, Variant(false))},
            kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).CreateDetailFunc(args[0].AsString(), args[1].AsLong(), args[2].AsLong(),
                                                    args[3].AsDictionary(), args[4].AsBool());
              return Variant();
            }});
  info.Add({"CreateSubFunc",
            {In("sDsn", kString), In("lSubSystemID", kLong), In("lIndex", kLong), In("oDict", kDictionary),
             Optional("blnTemplate", kBoolean, Variant(false))},
            kLong,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasUpdate(runtime).CreateSubFunc(args[0].AsString(), args[1].AsLong(), args[2].AsLong(),
                                                                args[3].AsDictionary(), args[4].AsBool()));
            }});
}

}  // namespace lxm::server

// Type library entries of DatasUpdate's tree administration: creating and
// deleting nodes, reset and propagation of overlays.
#include "server/methods_tree_edits.h"
#include "update/datas_update.h"

namespace lxm::server {

namespace {

// Declared by reference, as clients of the interface know it; never changed.
ParamInfo TemplateFlag() { return {"blnTemplate", ValueType::kBoolean, true, true, Variant(false)}; }

}  // namespace

void AddDatasUpdateAdminMethods(ClassInfo& info) {
  using enum ValueType;
  info.Add({"CreateSubSys",
            {In("sDsn", kString), Ref("lTopClassID", kLong), Ref("lIndex", kLong), Ref("oDict", kDictionary),
             TemplateFlag()},
            kLong,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasUpdate(runtime).CreateSubSys(args[0].AsString(), args[1].AsLong(),
                                                               args[2].AsLong(), args[3].AsDictionary(),
                                                               args[4].AsBool()));
            }});
  info.Add({"CreateTopClass",
            {In("sDsn", kString), Ref("lIndex", kLong), Ref("oDict", kDictionary), TemplateFlag()},
            kLong,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasUpdate(runtime).CreateTopClass(args[0].AsString(), args[1].AsLong(),
                                                                 args[2].AsDictionary(), args[3].AsBool()));
            }});
  info.Add({"DeleteItem",
            {In("sDsn", kString), Ref("lBase", kLong), Ref("lID", kLong), TemplateFlag()},
            kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).DeleteItem(args[0].AsString(), args[1].AsLong(), args[2].AsLong(),
                                              args[3].AsBool());
              return Variant();
            }});
  info.Add({"SetDefault",
            {In("sDsn", kString)},
            kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).SetDefault(args[0].AsString());
              return Variant();
            }});
  info.Add({"ApplyAllUser",
            {In("sDsn", kString), In("vctUser", kVector), Optional("dctInfo", kDictionary, Variant())},
            kBoolean,
            [](Runtime& runtime, Arguments& args) {
              return Variant(
                  DatasUpdate(runtime).ApplyAllUser(args[0].AsString(), args[1].AsVector(), args[2].AsDictionary()));
            }});
}

}  // namespace lxm::server

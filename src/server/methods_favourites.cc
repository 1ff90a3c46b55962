// Type library entries of the favourite, help-code and profile methods.
#include "server/methods_favourites.h"

#include <string>

#include "info/datas_info.h"
#include "update/datas_update.h"

namespace lxm::server {

namespace {

std::vector<ParamInfo> ItemParams() {
  using enum ValueType;
  return {In("sDsn", kString),        In("lngFuncID", kLong),   In("strHelpCode", kString),
          In("strShowName", kString), In("strFuncName", kString), In("lngFuncGroupID", kLong)};
}

}  // namespace

void AddDatasInfoFavouriteMethods(ClassInfo& info) {
  using enum ValueType;
  info.Add({"GetNormalFuncGroup", {In("sDsn", kString)}, kRecordset,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).GetNormalFuncGroup(args[0].AsString()));
            }});
  info.Add({"GetNormalFunc", {In("sDsn", kString), In("lngGroupID", kLong)}, kRecordset,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).GetNormalFunc(args[0].AsString(), args[1].AsLong()));
            }});
  info.Add({"GetDetailNormalFunc", {In("sDsn", kString), In("lngGroupID", kLong)}, kRecordset,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).GetDetailNormalFunc(args[0].AsString(), args[1].AsLong()));
            }});
  info.Add({"GetHelpCodeInfo", {In("sDsn", kString), Ref("sHelpCode", kString)}, kRecordset,
            [](Runtime& runtime, Arguments& args) {
              std::string code = args[1].AsString();
              Recordset result = DatasInfo(runtime).GetHelpCodeInfo(args[0].AsString(), code);
              args[1] = Variant(code);
              return Variant(result);
            }});
}

void AddDatasUpdateFavouriteMethods(ClassInfo& info) {
  using enum ValueType;
  info.Add({"AppendNormalItem", ItemParams(), kBoolean, [](Runtime& runtime, Arguments& args) {
              return Variant(DatasUpdate(runtime).AppendNormalItem(args[0].AsString(), args[1].AsLong(),
                                                                   args[2].AsString(), args[3].AsString(),
                                                                   args[4].AsString(), args[5].AsLong()));
            }});
  info.Add({"AddNormalItem", ItemParams(), kVoid, [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).AddNormalItem(args[0].AsString(), args[1].AsLong(), args[2].AsString(),
                                                 args[3].AsString(), args[4].AsString(), args[5].AsLong());
              return Variant();
            }});
  info.Add({"DelNormalFunc", {In("sDsn", kString), Ref("lDetailFuncID", kLong)}, kVoid,
            [](Runtime& runtime, Arguments& args) {
              int32_t id = args[1].AsLong();
              DatasUpdate(runtime).DelNormalFunc(args[0].AsString(), id);
              args[1] = Variant(id);
              return Variant();
            }});
  info.Add({"ClearNormalList", {In("sDsn", kString), Optional("lngFuncGroupID", kLong, Variant(-1))}, kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).ClearNormalList(args[0].AsString(), args[1].AsLong());
              return Variant();
            }});
  info.Add({"AddNormalFuncGroup",
            {In("sDsn", kString), In("strFuncGroupName", kString), Optional("strShowName", kString, Variant(""))},
            kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).AddNormalFuncGroup(args[0].AsString(), args[1].AsString(), args[2].AsString());
              return Variant();
            }});
  info.Add({"DelNormalFuncGroup", {In("sDsn", kString), In("lngFuncGroupID", kLong)}, kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).DelNormalFuncGroup(args[0].AsString(), args[1].AsLong());
              return Variant();
            }});
  info.Add({"UpdateNormalFuncGroup", {In("sDsn", kString), In("lngGroupID", kLong), In("strName", kString)},
            kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).UpdateNormalFuncGroup(args[0].AsString(), args[1].AsLong(), args[2].AsString());
              return Variant();
            }});
  info.Add({"SetDetailFuncNotNormal", {In("sDsn", kString)}, kVoid, [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).SetDetailFuncNotNormal(args[0].AsString());
              return Variant();
            }});
  info.Add({"SetProfileValue", {In("sDsn", kString), In("strName", kString), In("strValue", kString)}, kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).SetProfileValue(args[0].AsString(), args[1].AsString(), args[2].AsString());
              return Variant();
            }});
}

}  // namespace lxm::server

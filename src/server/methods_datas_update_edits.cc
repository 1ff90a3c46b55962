// Type library entries of DatasUpdate's attribute updates and renames.
#include <string>

#include "server/methods_tree_edits.h"
#include "update/datas_update.h"

namespace lxm::server {

namespace {

using AttributeUpdate = void (DatasUpdate::*)(std::string_view, int32_t, const std::shared_ptr<Dictionary>&, bool,
                                              const std::shared_ptr<Dictionary>&);
using Rename = void (DatasUpdate::*)(std::string_view, int32_t, const std::string&);

// blnTemplate is declared by reference, as clients of the interface know it;
// the method never changes it.
ParamInfo TemplateFlag() { return {"blnTemplate", ValueType::kBoolean, true, true, Variant(false)}; }

MethodInfo AttributeEntry(std::string name, std::string id_name, AttributeUpdate update) {
  return {std::move(name),
          {In("sDsn", ValueType::kString), In(std::move(id_name), ValueType::kLong),
           Ref("dict", ValueType::kDictionary), TemplateFlag(),
           Optional("dctInfo", ValueType::kDictionary, Variant())},
          ValueType::kVoid,
          [update](Runtime& runtime, Arguments& args) {
            DatasUpdate object(runtime);
            (object.*update)(args[0].AsString(), args[1].AsLong(), args[2].AsDictionary(), args[3].AsBool(),
                             args[4].AsDictionary());
            return Variant();
          }};
}

MethodInfo RenameEntry(std::string name, std::string id_name, std::string text_name, Rename rename) {
  return {std::move(name),
          {In("sDsn", ValueType::kString), In(std::move(id_name), ValueType::kLong),
           Ref(std::move(text_name), ValueType::kString)},
          ValueType::kVoid,
          [rename](Runtime& runtime, Arguments& args) {
            DatasUpdate object(runtime);
            (object.*rename)(args[0].AsString(), args[1].AsLong(), args[2].AsString());
            return Variant();
          }};
}

}  // namespace

void AddDatasUpdateEditMethods(ClassInfo& info) {
  using enum ValueType;
  info.Add(AttributeEntry("UpdateTopClass", "lngTopClassID", &DatasUpdate::UpdateTopClass));
  info.Add(AttributeEntry("UpdateSystemFunc", "lngSystemID", &DatasUpdate::UpdateSystemFunc));
  info.Add(AttributeEntry("UpdateSubSysFunc", "lngSubFuncID", &DatasUpdate::UpdateSubSysFunc));
  info.Add(AttributeEntry("UpdateDetailFuncAttr", "lngDetailID", &DatasUpdate::UpdateDetailFuncAttr));
  info.Add(RenameEntry("UpdateTopClassName", "lngTopClassID", "sNewName", &DatasUpdate::UpdateTopClassName));
  info.Add(RenameEntry("UpdateSystemFuncName", "lngSystemID", "sNewName", &DatasUpdate::UpdateSystemFuncName));
  info.Add(RenameEntry("UpdateSystemHelpFile", "lngSystemID", "sFileName", &DatasUpdate::UpdateSystemHelpFile));
  info.Add(RenameEntry("UpdateSubSysFuncName", "lngSubFuncID", "sNewName", &DatasUpdate::UpdateSubSysFuncName));
  info.Add(RenameEntry("UpdateAcctTypeName", "lngAcctID", "sNewName", &DatasUpdate::UpdateAcctTypeName));
  info.Add({"UpdateDetailFunc",
            {In("sDsn", kString), Ref("lDetailFuncID", kLong), Ref("sHelpCode", kString), Ref("sShowName", kString),
             Ref("sFuncName", kString)},
            kVoid,
            [](Runtime& runtime, Arguments& args) {
              DatasUpdate(runtime).UpdateDetailFunc(args[0].AsString(), args[1].AsLong(), args[2].AsString(),
                                                    args[3].AsString(), args[4].AsString());
              return Variant();
            }});
}

}  // namespace lxm::server

// Type library entries of DatasInfo's single-node queries.
#include <string>

#include "info/datas_info.h"
#include "server/methods_tree_edits.h"

namespace lxm::server {

namespace {

// A query that takes the descriptor and two Longs by reference.
template <typename Result>
MethodInfo TwoLongsByRef(std::string name, std::string first, std::string second, ValueType result,
                         Result (DatasInfo::*query)(std::string_view, int32_t&, int32_t&)) {
  return {std::move(name),
          {In("sDsn", ValueType::kString), Ref(std::move(first), ValueType::kLong),
           Ref(std::move(second), ValueType::kLong)},
          result,
          [query](Runtime& runtime, Arguments& args) {
            DatasInfo object(runtime);
            int32_t a = args[1].AsLong();
            int32_t b = args[2].AsLong();
            Variant answer((object.*query)(args[0].AsString(), a, b));
            args[1] = Variant(a);
            args[2] = Variant(b);
            return answer;
          }};
}

// A query that takes an ID and a dictionary by reference.
MethodInfo IdAndDictionary(std::string name,
                           bool (DatasInfo::*query)(std::string_view, int32_t&, std::shared_ptr<Dictionary>&)) {
  return {std::move(name),
          {In("sDsn", ValueType::kString), Ref("lID", ValueType::kLong), Ref("oDict", ValueType::kDictionary)},
          ValueType::kBoolean,
          [query](Runtime& runtime, Arguments& args) {
            DatasInfo object(runtime);
            int32_t id = args[1].AsLong();
            std::shared_ptr<Dictionary> dict = args[2].AsDictionary();
            bool answer = (object.*query)(args[0].AsString(), id, dict);
            args[1] = Variant(id);
            args[2] = Variant(dict);
            return Variant(answer);
          }};
}

}  // namespace

void AddDatasInfoNodeQueryMethods(ClassInfo& info) {
  using enum ValueType;
  info.Add(TwoLongsByRef("GetSubSysClass", "lID", "lType", kString, &DatasInfo::GetSubSysClass));
  info.Add({"GetSubSysName", {In("sDsn", kString), Ref("lFDetailFuncID", kLong)}, kString,
            [](Runtime& runtime, Arguments& args) {
              int32_t id = args[1].AsLong();
              Variant answer(DatasInfo(runtime).GetSubSysName(args[0].AsString(), id));
              args[1] = Variant(id);
              return answer;
            }});
  info.Add(TwoLongsByRef("IsHasChild", "lBase", "lID", kBoolean, &DatasInfo::IsHasChild));
  info.Add(TwoLongsByRef("GetNextIndex", "lType", "lID", kLong, &DatasInfo::GetNextIndex));
  info.Add(TwoLongsByRef("GetNextID", "lType", "lID", kLong, &DatasInfo::GetNextID));
  info.Add({"IsReFreshBaseData", {In("sDsn", kString), In("lngSystemID", kLong)}, kBoolean,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).IsReFreshBaseData(args[0].AsString(), args[1].AsLong()));
            }});
  info.Add({"GetProfileValue", {In("sDsn", kString), In("strName", kString), Ref("oDict", kDictionary)}, kString,
            [](Runtime& runtime, Arguments& args) {
              std::shared_ptr<Dictionary> dict = args[2].AsDictionary();
              Variant answer(DatasInfo(runtime).GetProfileValue(args[0].AsString(), args[1].AsString(), dict));
              args[2] = Variant(dict);
              return answer;
            }});
  info.Add(TwoLongsByRef("IsRefreshNode", "lID", "lType", kBoolean, &DatasInfo::IsRefreshNode));
  info.Add(IdAndDictionary("GetSubSystemInfo", &DatasInfo::GetSubSystemInfo));
  info.Add(IdAndDictionary("IsSetEnable", &DatasInfo::IsSetEnable));
  info.Add({"GetAcctShowName", {In("sDsn", kString), In("strName", kString)}, kString,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).GetAcctShowName(args[0].AsString(), args[1].AsString()));
            }});
}

}  // namespace lxm::server

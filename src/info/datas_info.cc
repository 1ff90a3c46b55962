#include "info/datas_info.h"

#include "platform/call_scope.h"

namespace lxm {

std::shared_ptr<Dictionary> DatasInfo::PrepareContext(std::string_view sDsn) {
  context_ = lxm::PrepareContext(*runtime_, sDsn);
  prepared_ = PreparedLevels();
  return PrepareSnapshotStamps(*context_.data_source, &prepared_);
}

Recordset DatasInfo::ListLevel(std::string_view sDsn, std::string_view level_name) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    context_ = lxm::PrepareContext(*runtime_, sDsn);
    prepared_ = PreparedLevels();
    PrepareLevels(*context_.data_source, &prepared_);
    // Every user level was prepared just now, for the current stamps.
    std::optional<Recordset> level = prepared_.Get(level_name, /*template_level=*/false);
    return level ? *level : Recordset();
  });
}

Recordset DatasInfo::GetTopClass(std::string_view sDsn) { return ListLevel(sDsn, "TopClass"); }
Recordset DatasInfo::GetTopClass_All(std::string_view sDsn) { return ListLevel(sDsn, "TopClass"); }

Recordset DatasInfo::GetSubSystem(std::string_view sDsn, int32_t& /*lTopClassID*/) {
  return ListLevel(sDsn, "SubSystem");
}
Recordset DatasInfo::GetSubSystem_All(std::string_view sDsn, int32_t& /*lTopClassID*/) {
  return ListLevel(sDsn, "SubSystem");
}
Recordset DatasInfo::GetSubFunc(std::string_view sDsn, int32_t& /*lSubSysID*/) {
  return ListLevel(sDsn, "SubFunc");
}
Recordset DatasInfo::GetSubFunc_All(std::string_view sDsn, int32_t& /*lSubSysID*/) {
  return ListLevel(sDsn, "SubFunc");
}
Recordset DatasInfo::GetDetailFunc(std::string_view sDsn, int32_t& /*lSubFuncID*/) {
  return ListLevel(sDsn, "DetailFunc");
}
Recordset DatasInfo::GetDetailFunc_All(std::string_view sDsn, int32_t& /*lSubFuncID*/) {
  return ListLevel(sDsn, "DetailFunc");
}
Recordset DatasInfo::GetDetailFuncInfo(std::string_view sDsn, int32_t& /*lDetailFuncID*/) {
  return ListLevel(sDsn, "DetailFunc");
}

}  // namespace lxm

// DatasInfo ("LXMDataFlow.DatasInfo"): the read side of the service.
//
// Every tree read votes complete first, builds the request context and
// brings the cached levels up to date for the current stamps (template and
// caller); a listing then hands out one whole level of the caller's own
// overlay rows from the cache, without a query of the tree tables.
//
// Listings return the whole level: they neither narrow by their ID argument
// (which they leave unchanged) nor by visibility or account type; that is the
// caller's. A level without rows is an empty recordset.
//
// Thread-safety: one object serves one call at a time; objects share the
// runtime's pools and cache.
#ifndef LXM_INFO_DATAS_INFO_H_
#define LXM_INFO_DATAS_INFO_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "core/request_context.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "platform/runtime.h"
#include "tree/level_cache.h"

namespace lxm {

class DatasInfo {
 public:
  inline static constexpr std::string_view kProgID = "LXMDataFlow.DatasInfo";

  DatasInfo() : DatasInfo(Runtime::Default()) {}
  explicit DatasInfo(Runtime& runtime) : runtime_(&runtime) {}

  // Level "TopClass" of the caller's view.
  Recordset GetTopClass(std::string_view sDsn);
  Recordset GetTopClass_All(std::string_view sDsn);
  // Level "SubSystem"; lTopClassID is neither read nor changed.
  Recordset GetSubSystem(std::string_view sDsn, int32_t& lTopClassID);
  Recordset GetSubSystem_All(std::string_view sDsn, int32_t& lTopClassID);
  // Level "SubFunc"; lSubSysID is neither read nor changed.
  Recordset GetSubFunc(std::string_view sDsn, int32_t& lSubSysID);
  Recordset GetSubFunc_All(std::string_view sDsn, int32_t& lSubSysID);
  // Level "DetailFunc"; the ID is neither read nor changed.
  Recordset GetDetailFunc(std::string_view sDsn, int32_t& lSubFuncID);
  Recordset GetDetailFunc_All(std::string_view sDsn, int32_t& lSubFuncID);
  Recordset GetDetailFuncInfo(std::string_view sDsn, int32_t& lDetailFuncID);

  // The template subsystem whose FSubID equals that of the detail
  // function's template sub-function (when not blank), smallest FSubSysID
  // first; 0 when there is none. Errors are raised again under the source
  // "LxmDataFlow.DatasInfo:GetSubSystemHelp".
  int32_t GetSubSystemHelp(std::string_view sDsn, int32_t lDetailFuncID);

 private:
  // The read frame: context, stamps and current levels. Returns the stamp
  // dictionary.
  std::shared_ptr<Dictionary> PrepareContext(std::string_view sDsn);
  // The read-request sequence of a listing.
  Recordset ListLevel(std::string_view sDsn, std::string_view level_name);

  Runtime* runtime_;
  RequestContext context_;   // of the last call
  PreparedLevels prepared_;  // of the last call
};

}  // namespace lxm

#endif  // LXM_INFO_DATAS_INFO_H_

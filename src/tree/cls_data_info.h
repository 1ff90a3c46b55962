// clsDataInfo ("LXMDataFlow.clsDataInfo"): whole-tree snapshots and their
// version stamps.
//
// A client that keeps a copy of the tree compares the stamps and fetches a
// snapshot only when they moved. The methods install no error trap: any
// failure ends the call with its error; the only writes they make, the
// stamp rows created by a first read, stand.
//
// Thread-safety: one object serves one call at a time (apartment style);
// objects share only the runtime's pools.
#ifndef LXM_TREE_CLS_DATA_INFO_H_
#define LXM_TREE_CLS_DATA_INFO_H_

#include <memory>
#include <string>
#include <string_view>

#include "core/request_context.h"
#include "platform/dictionary.h"
#include "platform/runtime.h"

namespace lxm {

class clsDataInfo {
 public:
  inline static constexpr std::string_view kProgID = "LXMDataFlow.clsDataInfo";

  clsDataInfo() : clsDataInfo(Runtime::Default()) {}
  explicit clsDataInfo(Runtime& runtime) : runtime_(&runtime) {}

  // The template snapshot: "TimeStamp" (stamp text) and one recordset per
  // level: "TopClass", "SubSystem", "SubFunc", "DetailFunc", "AcctType",
  // "Profile". Names in the descriptor's language under the base column name
  // and in all three languages under X_CHS, X_CHT, X_EN. Served from the
  // snapshot cache while the template stamp is unchanged.
  std::shared_ptr<Dictionary> GetTemplate(std::string_view sDsn);

  // The caller's overlay, per node the user's own row else the shared default
  // row: "TimeStamp" (the user's stamp), "TopClass", "SubSystem", "SubFunc",
  // "DetailFunc", "Profile" (the user's own profile rows). Nodes that exist
  // only in the template are not part of it.
  std::shared_ptr<Dictionary> GetUserData(std::string_view sDsn);

  // The template stamp text; votes complete first. Creates the stamp row
  // when missing.
  std::string GetTemplateVer(std::string_view sDsn);
  // The caller's stamp text. Creates the stamp row when missing.
  std::string GetUserTemplateVer(std::string_view sDsn);

 private:
  // The snapshot cache of GetTemplate. Neither ever fails the call: a lookup
  // failure reads as a miss, a store failure is ignored.
  bool FindCachedSnapshot(const std::string& group, const std::string& key, const std::string& stamp,
                          Variant* value);
  void StoreCachedSnapshot(const std::string& group, const std::string& key, const Variant& value,
                           const std::string& stamp);

  Runtime* runtime_;
  RequestContext context_;  // of the last call
};

}  // namespace lxm

#endif  // LXM_TREE_CLS_DATA_INFO_H_

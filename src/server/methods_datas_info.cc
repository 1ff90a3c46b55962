// Type library entries of DatasInfo ("LXMDataFlow.DatasInfo").
//
// By-reference arguments go to the method as variables and what the method
// leaves in them is written back into `args`; the dispatcher returns those
// that changed.
#include <string>

#include "info/datas_info.h"
#include "server/methods_bulk.h"
#include "server/methods_favourites.h"
#include "server/methods_installation.h"
#include "server/methods_tree_edits.h"
#include "server/type_library.h"

namespace lxm::server {

namespace {

using Listing = Recordset (DatasInfo::*)(std::string_view, int32_t&);

// A listing that takes the descriptor and one Long by reference.
MethodInfo ListingByRef(std::string name, std::string id_name, Listing listing) {
  return {std::move(name),
          {In("sDsn", ValueType::kString), Ref(std::move(id_name), ValueType::kLong)},
          ValueType::kRecordset,
          [listing](Runtime& runtime, Arguments& args) {
            DatasInfo object(runtime);
            int32_t id = args[1].AsLong();
            Recordset result = (object.*listing)(args[0].AsString(), id);
            args[1] = Variant(id);
            return Variant(result);
          }};
}

}  // namespace

void AddDatasInfoMethods(ClassInfo& info) {
  using enum ValueType;

  // Listings.
  info.Add({"GetTopClass", {In("sDsn", kString)}, kRecordset,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).GetTopClass(args[0].AsString()));
            }});
  info.Add({"GetTopClass_All", {In("sDsn", kString)}, kRecordset,
            [](Runtime& runtime, Arguments& args) {
              return Variant(DatasInfo(runtime).GetTopClass_All(args[0].AsString()));
            }});
  info.Add(ListingByRef("GetSubSystem", "lTopClassID", &DatasInfo::GetSubSystem));
  info.Add(ListingByRef("GetSubSystem_All", "lTopClassID", &DatasInfo::GetSubSystem_All));
  info.Add(ListingByRef("GetSubFunc", "lSubSysID", &DatasInfo::GetSubFunc));
  info.Add(ListingByRef("GetSubFunc_All", "lSubSysID", &DatasInfo::GetSubFunc_All));
  info.Add(ListingByRef("GetDetailFunc", "lSubFuncID", &DatasInfo::GetDetailFunc));
  info.Add(ListingByRef("GetDetailFunc_All", "lSubFuncID", &DatasInfo::GetDetailFunc_All));
  info.Add(ListingByRef("GetDetailFuncInfo", "lDetailFuncID", &DatasInfo::GetDetailFuncInfo));

  // Help-code lookup.
  info.Add({"GetSubSystemHelp", {In("sDsn", kString), In("lDetailFuncID", kLong)}, kLong,
            [](Runtime& runtime, Arguments& args) {
              return Variant(
                  DatasInfo(runtime).GetSubSystemHelp(args[0].AsString(), args[1].AsLong()));
            }});

  // Single-node queries (methods_datas_info_nodes.cc).
  AddDatasInfoNodeQueryMethods(info);

  // Favourites and help codes (methods_favourites.cc).
  AddDatasInfoFavouriteMethods(info);

  // Pictures, patches and files of the installation (methods_installation.cc).
  AddDatasInfoInstallationMethods(info);

  // Bulk reads and export (methods_bulk.cc).
  AddDatasInfoBulkMethods(info);

  // New DatasInfo methods join here, one entry each.
}

}  // namespace lxm::server

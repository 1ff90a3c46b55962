// Type library entries of DatasUpdate ("LXMDataFlow.DatasUpdate").
//
// ExecCmd and RegMiddle are entries like any other: the dispatcher refuses
// them by name unless the server runs with --enable-exec.
#include "server/methods_bulk.h"
#include "server/methods_favourites.h"
#include "server/methods_installation.h"
#include "server/methods_tree_edits.h"
#include "server/type_library.h"

namespace lxm::server {

void AddDatasUpdateMethods(ClassInfo& info) {
  // Attribute updates and renames (methods_datas_update_edits.cc).
  AddDatasUpdateEditMethods(info);

  // Favourites and profile values (methods_favourites.cc).
  AddDatasUpdateFavouriteMethods(info);

  // Tree administration (methods_tree_admin.cc).
  AddDatasUpdateAdminMethods(info);

  // Commands and component registration (methods_installation.cc).
  AddDatasUpdateInstallationMethods(info);

  // Detail-function synchronisation and creation (methods_detail_sync.cc).
  AddDatasUpdateDetailSyncMethods(info);

  // Import of a user layout (methods_bulk.cc).
  AddDatasUpdateImportMethods(info);

  // Refresh from subsystem components, enable flags (methods_refresh.cc).
  AddDatasUpdateRefreshMethods(info);

  // New DatasUpdate methods join here, one entry each.
}

}  // namespace lxm::server

// Type library entries of the bulk reads of DatasInfo and of the layout
// import of DatasUpdate.
#ifndef LXM_SERVER_METHODS_BULK_H_
#define LXM_SERVER_METHODS_BULK_H_

#include "server/type_library.h"

namespace lxm::server {

// DatasInfo: GetRecordset, GetUserNormalLst, ExportUserData.
void AddDatasInfoBulkMethods(ClassInfo& info);
// DatasUpdate: ImportUserData.
void AddDatasUpdateImportMethods(ClassInfo& info);

}  // namespace lxm::server

#endif  // LXM_SERVER_METHODS_BULK_H_

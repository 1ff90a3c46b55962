// Type library entries of DatasInfo's installation files: GetPicInfo,
// GetPatchLst, GetPatchFile, FileExists, GetFileSize, FileToVariant.
#ifndef LXM_SERVER_METHODS_INSTALLATION_H_
#define LXM_SERVER_METHODS_INSTALLATION_H_

#include "server/type_library.h"

namespace lxm::server {

void AddDatasInfoInstallationMethods(ClassInfo& info);

}  // namespace lxm::server

#endif  // LXM_SERVER_METHODS_INSTALLATION_H_

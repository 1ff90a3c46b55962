// Type library entries of the installation environment: DatasInfo's files
// (GetPicInfo, GetPatchLst, GetPatchFile, FileExists, GetFileSize,
// FileToVariant) and DatasUpdate's commands and component registration
// (ExecCmd, GetActiveXFilePath, RegMiddle).
#ifndef LXM_SERVER_METHODS_INSTALLATION_H_
#define LXM_SERVER_METHODS_INSTALLATION_H_

#include "server/type_library.h"

namespace lxm::server {

void AddDatasInfoInstallationMethods(ClassInfo& info);
void AddDatasUpdateInstallationMethods(ClassInfo& info);

}  // namespace lxm::server

#endif  // LXM_SERVER_METHODS_INSTALLATION_H_

// Type library entries of the favourite, help-code and profile methods.
#ifndef LXM_SERVER_METHODS_FAVOURITES_H_
#define LXM_SERVER_METHODS_FAVOURITES_H_

#include "server/type_library.h"

namespace lxm::server {

// DatasInfo: GetNormalFuncGroup, GetNormalFunc, GetDetailNormalFunc,
// GetHelpCodeInfo.
void AddDatasInfoFavouriteMethods(ClassInfo& info);
// DatasUpdate: the favourite writes and SetProfileValue.
void AddDatasUpdateFavouriteMethods(ClassInfo& info);

}  // namespace lxm::server

#endif  // LXM_SERVER_METHODS_FAVOURITES_H_

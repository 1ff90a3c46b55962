// Type library entries of the tree edits of DatasUpdate (attribute updates
// and renames) and of DatasInfo's single-node queries. Each Add* function
// adds its methods to the class it is given; the class's own entry function
// calls it.
#ifndef LXM_SERVER_METHODS_TREE_EDITS_H_
#define LXM_SERVER_METHODS_TREE_EDITS_H_

#include "server/type_library.h"

namespace lxm::server {

// UpdateTopClass, UpdateSystemFunc, UpdateSubSysFunc, UpdateDetailFuncAttr,
// UpdateTopClassName, UpdateSystemFuncName, UpdateSystemHelpFile,
// UpdateSubSysFuncName, UpdateAcctTypeName, UpdateDetailFunc.
void AddDatasUpdateEditMethods(ClassInfo& info);

// CreateSubSys, CreateTopClass, DeleteItem, SetDefault, ApplyAllUser.
void AddDatasUpdateAdminMethods(ClassInfo& info);

// RefreshDetailFunc, CreateDetailFunc, CreateSubFunc.
void AddDatasUpdateDetailSyncMethods(ClassInfo& info);

// RefreshSubFunc, RefreshActivFunc, ReFreshStatus, UpdateFuncEnable,
// UpdateSysBaseData.
void AddDatasUpdateRefreshMethods(ClassInfo& info);

// GetSubSysClass, GetSubSysName, IsHasChild, GetNextIndex, GetNextID,
// IsReFreshBaseData, GetProfileValue, IsRefreshNode, GetSubSystemInfo,
// IsSetEnable, GetAcctShowName.
void AddDatasInfoNodeQueryMethods(ClassInfo& info);

}  // namespace lxm::server

#endif  // LXM_SERVER_METHODS_TREE_EDITS_H_

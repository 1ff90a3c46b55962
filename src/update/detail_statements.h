// Statements the detail-function item routines share. Every value is a
// bound parameter; the parameter order is given with each.
#ifndef LXM_UPDATE_DETAIL_STATEMENTS_H_
#define LXM_UPDATE_DETAIL_STATEMENTS_H_

#include <string_view>

namespace lxm::detail_items {

// ID, sub-function, three names, class name, class parameter, favourite
// flag, help code, visible, account types, function type, index.
inline constexpr std::string_view kInsertTemplateDetail =
    "INSERT INTO t_DataFlowDetailFunc (FDetailFuncID,FSubFuncID,FFuncName,FFuncName_CHT,FFuncName_EN,"
    "FClassName,FClassParam,FIsNormal,FHelpCode,FVisible,FAcctType,FFuncType,FIndex) "
    "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)";

// ID, sub-function, user, three names, class name, class parameter, visible,
// index, help code.
inline constexpr std::string_view kInsertOwnDetail =
    "INSERT INTO t_UserDetailFunc (FDetailFuncID,FSubFuncID,FUserID,FFuncName,FFuncName_CHT,FFuncName_EN,"
    "FClassName,FClassParam,FVisible,FIndex,FHelpCode) VALUES (?,?,?,?,?,?,?,?,?,?,?)";

// A user's rows of one class parameter take the names of the template row of
// that sub-function and class parameter. Sub-function, class parameter, user.
// Class parameters compare as the account databases compare text: trailing
// blanks and letter case aside, so the one-blank default matches ''.
inline constexpr std::string_view kCopyTemplateNames =
    "UPDATE t_UserDetailFunc SET FFuncName=t2.FFuncName,FFuncName_CHT=t2.FFuncName_CHT,"
    "FFuncName_EN=t2.FFuncName_EN FROM t_DataFlowDetailFunc t2 "
    "WHERE t_UserDetailFunc.FSubFuncID=t2.FSubFuncID "
    "AND UPPER(RTRIM(t_UserDetailFunc.FClassParam))=UPPER(RTRIM(t2.FClassParam)) "
    "AND t_UserDetailFunc.FSubFuncID=? AND UPPER(RTRIM(t_UserDetailFunc.FClassParam))=UPPER(RTRIM(?)) "
    "AND t_UserDetailFunc.FUserID=?";

}  // namespace lxm::detail_items

#endif  // LXM_UPDATE_DETAIL_STATEMENTS_H_

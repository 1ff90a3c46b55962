// The four levels of the tree as the administrative writes see them: the
// template and overlay tables, the key, and the overlay columns copied when
// an overlay is rebuilt or handed to other users. Every name here is a
// constant of ours, so statements built from them hold no caller text.
#ifndef LXM_UPDATE_OVERLAY_LEVELS_H_
#define LXM_UPDATE_OVERLAY_LEVELS_H_

#include <array>
#include <string>
#include <string_view>

namespace lxm {

struct OverlayLevel {
  std::string_view template_table;
  std::string_view user_table;
  std::string_view key;
  // The columns written when overlay rows are copied, FUserID among them,
  // comma-separated in the order the copies write them.
  std::string_view columns;
};

inline constexpr std::array<OverlayLevel, 4> kOverlayLevels = {{
    {"t_DataFlowTopClass", "t_UserTopClass", "FTopClassID",
     "FTopClassID,FUserID,FTopClassName,FTopClassName_CHT,FTopClassName_EN,FIndex,FVisible"},
    {"t_DataFlowSubSystem", "t_UserSubSystem", "FSubSysID",
     "FTopClassID,FSubSysID,FUserID,FName,FName_CHT,FName_EN,FVisible,FIndex"},
    {"t_DataFlowSubFunc", "t_UserSubFunc", "FSubFuncID",
     "FSubFuncID,FUserID,FSubSysID,FIndex,FFuncName,FFuncName_CHT,FFuncName_EN,FVisible"},
    {"t_DataFlowDetailFunc", "t_UserDetailFunc", "FDetailFuncID",
     "FDetailFuncID,FUserID,FFuncName,FFuncName_CHT,FFuncName_EN,FSubFuncID,FIndex,FClassName,FClassParam,"
     "FVisible,FHelpCode,FEnable"},
}};

// The level's column list with FUserID replaced by `user_value` and every
// other column prefixed by `prefix` ("t2." say): the select list of a copy.
std::string CopySelectList(const OverlayLevel& level, std::string_view prefix, std::string_view user_value);

}  // namespace lxm

#endif  // LXM_UPDATE_OVERLAY_LEVELS_H_

// The statements that read one level of the tree, for the template and for a
// user's overlay, in a given language.
//
// Each level gives its key, the three language columns of its name under
// X_CHS, X_CHT and X_EN, the request language's column under the base name X,
// and its attribute columns, in a fixed order. The language reaches the text
// only through LanguageColumn, which accepts "chs", "cht" and "en" and raises
// the missing-column error for anything else; user IDs are bound.
#ifndef LXM_TREE_SNAPSHOT_STATEMENTS_H_
#define LXM_TREE_SNAPSHOT_STATEMENTS_H_

#include <array>
#include <string>
#include <string_view>

namespace lxm {

enum class Level { kTopClass, kSubSystem, kSubFunc, kDetailFunc, kAcctType, kProfile };

// "TopClass", "SubSystem", "SubFunc", "DetailFunc", "AcctType", "Profile".
std::string_view LevelKey(Level level);

// The template levels in the order a snapshot reads them.
inline constexpr std::array<Level, 6> kTemplateLevels = {
    Level::kTopClass, Level::kSubSystem, Level::kSubFunc,
    Level::kDetailFunc, Level::kAcctType, Level::kProfile};
// The user levels (no account types).
inline constexpr std::array<Level, 5> kUserLevels = {
    Level::kTopClass, Level::kSubSystem, Level::kSubFunc, Level::kDetailFunc, Level::kProfile};

// Which column list a template statement uses: the snapshot's, or the level
// cache's narrower one (without FShowSysType).
enum class ColumnSet { kSnapshot, kLevelCache };

// The template statement of a level; no parameters.
std::string TemplateLevelStatement(Level level, std::string_view language_id, ColumnSet columns);

// The merged user statement of a level: per node the user's own row, else
// the shared default row (FUserID 0). One parameter: the user ID. For the
// profile level, the user's own rows only. REQUIRES: level != kAcctType.
std::string UserMergedStatement(Level level, std::string_view language_id);

// The level cache's user statement: the user's own rows only. One parameter:
// the user ID. REQUIRES: level != kAcctType.
std::string UserOwnStatement(Level level, std::string_view language_id);

}  // namespace lxm

#endif  // LXM_TREE_SNAPSHOT_STATEMENTS_H_

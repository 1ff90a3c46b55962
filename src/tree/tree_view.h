// The function tree as one user sees it: template nodes with the user's
// overlay applied (own row, else the shared default row), the user's own
// nodes added, each level in its order (FIndex, then ID).
#ifndef LXM_TREE_TREE_VIEW_H_
#define LXM_TREE_TREE_VIEW_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dictionary.h"

namespace lxm {

struct TreeNode {
  int32_t id = 0;
  std::string name;
  int32_t index = 0;
  bool visible = true;
  bool user_created = false;  // exists only in the overlay
  bool overlaid = false;      // a template node with an overlay row
  std::vector<TreeNode> children;
};

// Builds the tree from a template snapshot and a user snapshot (the
// dictionaries of clsDataInfo::GetTemplate and GetUserData, same language).
// Overlay rows of nodes the template no longer has, below the level's first
// user ID, are left out; so are nodes whose parent is missing.
std::vector<TreeNode> BuildUserTree(const Dictionary& template_snapshot,
                                    const Dictionary& user_snapshot);

// One line per node, two spaces of indent per level: "name (id)" followed by
// " [hidden]" and " [own]" for user-created nodes.
std::string RenderTree(const std::vector<TreeNode>& roots);

}  // namespace lxm

#endif  // LXM_TREE_TREE_VIEW_H_

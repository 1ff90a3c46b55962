#include "tree/tree_view.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_map>

#include "platform/convert.h"
#include "platform/recordset.h"
#include "tree/schema.h"

namespace lxm {

namespace {

struct LevelSpec {
  std::string_view key;
  std::string_view id_field;
  std::string_view name_field;
  std::string_view parent_field;  // empty for top classes
  int32_t user_base;
};

constexpr LevelSpec kLevels[] = {
    {"TopClass", "FTopClassID", "FTopClassName", "", schema::kTopClassBase},
    {"SubSystem", "FSubSysID", "FName", "FTopClassID", schema::kSubSystemBase},
    {"SubFunc", "FSubFuncID", "FFuncName", "FSubSysID", schema::kSubFuncBase},
    {"DetailFunc", "FDetailFuncID", "FFuncName", "FSubFuncID", schema::kDetailFuncBase},
};

struct FlatNode {
  TreeNode node;
  int32_t parent = 0;
};

int32_t IntField(const Recordset& rs, std::string_view field, int32_t fallback) {
  const Variant& value = rs.Value(field);
  if (value.IsNull() || value.IsEmpty()) return fallback;
  return CLng(value);
}

std::string TextField(const Recordset& rs, std::string_view field) {
  const Variant& value = rs.Value(field);
  return value.kind() == VariantKind::kString ? value.AsString() : std::string();
}

Recordset LevelOf(const Dictionary& snapshot, std::string_view key) {
  Variant value = snapshot.ValueOr(key, Variant());
  if (value.kind() != VariantKind::kRecordset || value.AsRecordset() == nullptr) return Recordset();
  return Recordset(value.AsRecordset()->data());
}

// Template nodes of one level with the overlay applied, keyed by ID.
std::map<int32_t, FlatNode> MergeLevel(const LevelSpec& spec, const Dictionary& template_snapshot,
                                       const Dictionary& user_snapshot) {
  std::map<int32_t, FlatNode> nodes;
  for (Recordset rs = LevelOf(template_snapshot, spec.key); !rs.Eof(); rs.MoveNext()) {
    FlatNode flat;
    flat.node.id = IntField(rs, spec.id_field, 0);
    flat.node.name = TextField(rs, spec.name_field);
    flat.node.index = IntField(rs, "FIndex", 0);
    flat.node.visible = IntField(rs, "FVisible", 1) != 0;
    if (!spec.parent_field.empty()) flat.parent = IntField(rs, spec.parent_field, 0);
    nodes[flat.node.id] = std::move(flat);
  }
  for (Recordset rs = LevelOf(user_snapshot, spec.key); !rs.Eof(); rs.MoveNext()) {
    int32_t id = IntField(rs, spec.id_field, 0);
    auto it = nodes.find(id);
    if (it == nodes.end()) {
      if (id < spec.user_base) continue;  // overlay of a node the template lost
      FlatNode flat;
      flat.node.id = id;
      flat.node.user_created = true;
      it = nodes.emplace(id, std::move(flat)).first;
    } else {
      it->second.node.overlaid = true;
    }
    FlatNode& flat = it->second;
    std::string name = TextField(rs, spec.name_field);
    if (!name.empty()) flat.node.name = name;
    flat.node.index = IntField(rs, "FIndex", flat.node.index);
    flat.node.visible = IntField(rs, "FVisible", flat.node.visible ? 1 : 0) != 0;
    if (!spec.parent_field.empty()) flat.parent = IntField(rs, spec.parent_field, flat.parent);
  }
  return nodes;
}

void SortLevel(std::vector<TreeNode>* nodes) {
  std::sort(nodes->begin(), nodes->end(), [](const TreeNode& a, const TreeNode& b) {
    return a.index != b.index ? a.index < b.index : a.id < b.id;
  });
}

void Render(const std::vector<TreeNode>& nodes, int depth, std::string* out) {
  for (const TreeNode& node : nodes) {
    out->append(static_cast<size_t>(depth) * 2, ' ');
    out->append(node.name.empty() ? "(no name)" : node.name);
    out->append(" (" + std::to_string(node.id) + ")");
    if (!node.visible) out->append(" [hidden]");
    if (node.user_created) out->append(" [own]");
    out->push_back('\n');
    Render(node.children, depth + 1, out);
  }
}

}  // namespace

std::vector<TreeNode> BuildUserTree(const Dictionary& template_snapshot,
                                    const Dictionary& user_snapshot) {
  // Build from the leaves up: each level's nodes are moved under their parents.
  std::unordered_map<int32_t, std::vector<TreeNode>> children_of;
  for (int level = 3; level >= 0; --level) {
    std::map<int32_t, FlatNode> nodes = MergeLevel(kLevels[level], template_snapshot, user_snapshot);
    std::unordered_map<int32_t, std::vector<TreeNode>> next;
    for (auto& [id, flat] : nodes) {
      auto kids = children_of.find(id);
      if (kids != children_of.end()) {
        flat.node.children = std::move(kids->second);
        SortLevel(&flat.node.children);
      }
      next[flat.parent].push_back(std::move(flat.node));
    }
    children_of = std::move(next);
  }
  std::vector<TreeNode> roots = std::move(children_of[0]);
  SortLevel(&roots);
  return roots;
}

std::string RenderTree(const std::vector<TreeNode>& roots) {
  std::string out;
  Render(roots, 0, &out);
  return out;
}

}  // namespace lxm

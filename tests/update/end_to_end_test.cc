// Edits on the demo account, seen through the readers clients use next.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "info/datas_info.h"
#include "platform/convert.h"
#include "test_support/account_fixture.h"
#include "tree/cls_data_info.h"
#include "tree/tree_view.h"
#include "update/datas_update.h"

namespace lxm {
namespace {

class EditRoadTest : public test::AccountTest {
 protected:
  EditRoadTest() { demo_ = true; }

  // Every row of a listing, as text, keyed by the row's ID.
  static std::map<int32_t, std::vector<std::string>> Rows(Recordset rs) {
    std::map<int32_t, std::vector<std::string>> rows;
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
      std::vector<std::string> values;
      for (size_t i = 0; i < rs.Fields().size(); ++i) {
        values.push_back(rs.Value(i).IsNull() ? "<null>" : CStr(rs.Value(i)));
      }
      rows[CLng(rs.Value(size_t{0}))] = values;
    }
    return rows;
  }

  Recordset SubSystems(int32_t user) {
    int32_t top = 0;
    return info_.GetSubSystem(Dsn(user, "en"), top);
  }

  // The name of a node in the tree a user sees, or "<none>".
  std::string NameInTree(int32_t user, int32_t node_id) {
    clsDataInfo snapshots(runtime_);
    std::string dsn = Dsn(user, "chs");
    std::vector<TreeNode> roots = BuildUserTree(*snapshots.GetTemplate(dsn), *snapshots.GetUserData(dsn));
    std::vector<const TreeNode*> pending;
    for (const TreeNode& root : roots) pending.push_back(&root);
    while (!pending.empty()) {
      const TreeNode* node = pending.back();
      pending.pop_back();
      if (node->id == node_id) return node->name;
      for (const TreeNode& child : node->children) pending.push_back(&child);
    }
    return "<none>";
  }

  static std::shared_ptr<Dictionary> Values(bool visible, const std::string& name, int32_t index) {
    std::shared_ptr<Dictionary> dict = Dictionary::Create();
    dict->Set("Visible", Variant(visible));
    dict->Set("NewName", Variant(name));
    dict->Set("Index", Variant(index));
    return dict;
  }

  DatasInfo info_{runtime_};
  DatasUpdate update_{runtime_};
};

TEST_F(EditRoadTest, AUserHidesASubsystemAndOnlyThatUsersViewChanges) {
  // Both users' levels are cached before the edit.
  EXPECT_EQ(SubSystems(16395).Filter("FSubSysID", Variant(1001)).RecordCount(), 0);
  auto other_before = Rows(SubSystems(16394));

  update_.UpdateSystemFunc(Dsn(16395, "en"), 1001, Values(false, "General ledger", 10));

  Recordset mine = SubSystems(16395).Filter("FSubSysID", Variant(1001));
  ASSERT_FALSE(mine.Eof());
  EXPECT_EQ(mine.Value("FVisible").AsLong(), 0);
  EXPECT_EQ(mine.Value("FName").AsString(), "General ledger");
  EXPECT_EQ(mine.Value("FName_CHS").AsString(), "总账");  // copied from the template
  EXPECT_EQ(Rows(SubSystems(16394)), other_before);
}

TEST_F(EditRoadTest, AnEditOnBehalfOfAnotherUserReachesThatUsersCachedView) {
  auto target_before = Rows(SubSystems(16396));
  ASSERT_EQ(target_before.count(4002), 1u);
  std::shared_ptr<Dictionary> options = Dictionary::Create();
  options->Set("TemplateUserID", Variant("16396"));
  update_.UpdateSystemFunc(Dsn(16394, "en"), 4002, Values(true, "Salaries", 1), false, options);
  Recordset row = SubSystems(16396).Filter("FSubSysID", Variant(4002));
  ASSERT_FALSE(row.Eof());
  EXPECT_EQ(row.Value("FName").AsString(), "Salaries");
  EXPECT_EQ(row.Value("FIndex").AsLong(), 1);
}

TEST_F(EditRoadTest, ATemplateRenameIsSeenByEveryUserWithoutAnOwnName) {
  // Snapshots are cached before the rename.
  ASSERT_EQ(NameInTree(16394, 200202), "销售订单");  // the template's name
  ASSERT_EQ(NameInTree(16396, 200202), "销售订单");
  ASSERT_EQ(NameInTree(16395, 200202), "销售订单");  // user 16395's own row

  update_.UpdateSubSysFuncName(Dsn(1, "en"), 200202, "订单处理");

  EXPECT_EQ(NameInTree(16394, 200202), "订单处理");
  EXPECT_EQ(NameInTree(16396, 200202), "订单处理");
  EXPECT_EQ(NameInTree(12345, 200202), "订单处理");
  EXPECT_EQ(NameInTree(16395, 200202), "销售订单");
}

}  // namespace
}  // namespace lxm

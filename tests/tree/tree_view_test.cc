// The tree one user sees, as the tree command prints it.
#include <gtest/gtest.h>

#include <string>

#include "test_support/account_fixture.h"
#include "tree/cls_data_info.h"
#include "tree/tree_view.h"

namespace lxm {
namespace {

class TreeViewTest : public test::AccountTest {
 protected:
  std::string TreeOf(int32_t user, const std::string& language = "en") {
    clsDataInfo info(runtime_);
    auto template_snapshot = info.GetTemplate(Dsn(user, language));
    auto user_snapshot = info.GetUserData(Dsn(user, language));
    return RenderTree(BuildUserTree(*template_snapshot, *user_snapshot));
  }
};

TEST_F(TreeViewTest, OverlayIsAppliedOverTheTemplate) {
  Exec("INSERT INTO t_DataFlowTopClass (FTopClassID, FTopClassName, FTopClassName_EN, FIndex) VALUES "
       "(1, 'A', 'Alpha', 10), (2, 'B', 'Beta', 20)");
  Exec("INSERT INTO t_DataFlowSubSystem (FSubSysID, FTopClassID, FName, FName_EN, FIndex) VALUES "
       "(1001, 1, 'S1', 'Sub one', 10), (1002, 1, 'S2', 'Sub two', 20)");
  Exec("INSERT INTO t_DataFlowSubFunc (FSubFuncID, FSubSysID, FFuncName, FFuncName_EN, FIndex) VALUES "
       "(100101, 1001, 'F', 'Func', 10)");
  Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FSubFuncID, FFuncName, FFuncName_EN, FIndex) "
       "VALUES (10010101, 100101, 'D1', 'Detail one', 10), (10010102, 100101, 'D2', 'Detail two', 20)");
  // Default: Beta first. User 9: renames Alpha, hides Sub two, puts Detail
  // two first and adds a function of its own.
  Exec("INSERT INTO t_UserTopClass (FTopClassID, FUserID, FTopClassName, FTopClassName_EN, FIndex) VALUES "
       "(2, 0, 'B', 'Beta', 5), (1, 9, 'A', 'My alpha', 10)");
  Exec("INSERT INTO t_UserSubSystem (FSubSysID, FUserID, FTopClassID, FName, FName_EN, FIndex, FVisible) "
       "VALUES (1002, 9, 1, 'S2', 'Sub two', 20, 0)");
  Exec("INSERT INTO t_UserDetailFunc (FDetailFuncID, FUserID, FSubFuncID, FFuncName, FFuncName_EN, FIndex) "
       "VALUES (10010102, 9, 100101, 'D2', 'Detail two', 1), (1000000001, 9, 100101, 'M', 'Mine', 99)");

  EXPECT_EQ(TreeOf(9),
            "Beta (2)\n"
            "My alpha (1)\n"
            "  Sub one (1001)\n"
            "    Func (100101)\n"
            "      Detail two (10010102)\n"
            "      Detail one (10010101)\n"
            "      Mine (1000000001) [own]\n"
            "  Sub two (1002) [hidden]\n");
  // Another user sees the template with the shared default only.
  EXPECT_EQ(TreeOf(3),
            "Beta (2)\n"
            "Alpha (1)\n"
            "  Sub one (1001)\n"
            "    Func (100101)\n"
            "      Detail one (10010101)\n"
            "      Detail two (10010102)\n"
            "  Sub two (1002)\n");
}

class DemoTreeViewTest : public TreeViewTest {
 protected:
  DemoTreeViewTest() { demo_ = true; }
};

TEST_F(DemoTreeViewTest, DemoUserSeesOwnNodesInEveryLanguage) {
  for (const std::string language : {"chs", "cht", "en"}) {
    SCOPED_TRACE(language);
    std::string tree = TreeOf(16394, language);
    EXPECT_NE(tree.find("(1000000000) [own]"), std::string::npos);
    EXPECT_NE(tree.find("[hidden]"), std::string::npos);
    EXPECT_NE(tree.find("\n      "), std::string::npos);  // four levels deep
  }
}

}  // namespace
}  // namespace lxm

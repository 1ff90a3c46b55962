// The write frame as callers see it: all or nothing, votes of nested calls,
// the stamp bump, and writers that meet.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "test_support/error_matchers.h"
#include "tree/account_setup.h"
#include "update/update_fixture.h"
#include "update/write_frame.h"

namespace lxm {
namespace {

using test::ErrorOf;

class WriteFrameTest : public test::UpdateTest {
 protected:
  std::string SubSystemName(int32_t user) {
    return Row("SELECT FName_EN FROM t_UserSubSystem WHERE FSubSysID = 1001 AND FUserID = ?",
               {Variant(user)})["FName_EN"];
  }
  std::string TopClassName() {
    return Row("SELECT FTopClassName FROM t_DataFlowTopClass WHERE FTopClassID = 1")["FTopClassName"];
  }
};

TEST_F(WriteFrameTest, AWriteWhoseLaterStatementFailsLeavesNoChangeAndNoStampMoved) {
  // The copy-on-write insert succeeds; the change after it is refused.
  AddFault("refuse", "BEFORE UPDATE ON t_UserSubSystem WHEN NEW.FName_EN = 'boom'", "no booms");
  auto before = Stamps();
  auto error = ErrorOf([&] {
    update_.UpdateSystemFunc(Dsn(5, "en"), 1001, test::UpdateTest::Values({{"NewName", Variant("boom")}}));
  });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kDatabase);
  EXPECT_EQ(error->source(), BackendName());
  EXPECT_NE(error->description().find("no booms"), std::string::npos);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubSystem WHERE FUserID = 5"), 0);
  EXPECT_TRUE(MovedSince(before).empty());
}

TEST_F(WriteFrameTest, AFailingStampBumpUndoesTheWrite) {
  AddFault("refuse", "BEFORE UPDATE ON t_DataFlowTimeStamp", "stamps frozen");
  auto error = ErrorOf([&] { update_.UpdateTopClassName(Dsn(5), 1, "renamed"); });
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->description().find("stamps frozen"), std::string::npos);
  EXPECT_EQ(TopClassName(), "财务");
}

TEST_F(WriteFrameTest, ADescriptorThatDoesNotParseWritesNothing) {
  auto before = Stamps();
  auto error = ErrorOf([&] {
    update_.UpdateSystemFunc(Dsn(5) + ";userid=6", 1001, test::UpdateTest::Values({{"NewName", Variant("x")}}));
  });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kDuplicateKey);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserSubSystem WHERE FUserID IN (5, 6) AND FName = 'x'"), 0);
  EXPECT_TRUE(MovedSince(before).empty());
}

TEST_F(WriteFrameTest, TheUserStampNeedsAUserIDTheTemplateStampDoesNot) {
  const std::string no_user = "ConnectString={" + connect_string_ + "};LANGUAGE=chs";
  auto before = Stamps();
  update_.UpdateTopClassName(no_user, 1, "renamed");
  EXPECT_EQ(TopClassName(), "renamed");
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow"}));
  EXPECT_EQ(ErrorOf([&] {
              update_.UpdateTopClass(no_user, 1, test::UpdateTest::Values({}), false,
                                     test::UpdateTest::Values({{"TemplateUserID", Variant(5)}}));
            })->number(),
            errors::kTypeMismatch);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_UserTopClass"), 0);

  // Writes that need no caller's ID succeed without one.
  update_.CreateDetailFunc(no_user, 100101, 7, Values({{"FDetailFuncID", Variant(10010177)}}), true);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE FDetailFuncID = 10010177"), 1);
  auto users = Vector::Create();
  users->Append(Variant(6));
  EXPECT_TRUE(update_.ApplyAllUser(no_user, users, Values({{"TemplateUserID", Variant(5)}})));
}

// A failure reaches the caller with every field it was raised with.
TEST_F(WriteFrameTest, AFailureKeepsItsHelpFileAndContext) {
  RequestContext context;
  auto error = ErrorOf([&] {
    RunStandardWrite(runtime_, context, Dsn(5), [](WriteRequest&) {
      throw ComError(errors::kInvalidCall, "Source.Of.It", "what failed", "help.chm", 42);
    });
  });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kInvalidCall);
  EXPECT_EQ(error->source(), "Source.Of.It");
  EXPECT_EQ(error->description(), "what failed");
  EXPECT_EQ(error->help_file(), "help.chm");
  EXPECT_EQ(error->help_context(), 42);
}

TEST_F(WriteFrameTest, ANestedWriteJoinsTheOuterCallAndItsVote) {
  // The outer call votes abort after the nested write completed: undone.
  RunInCallScope(runtime_, true, [&] {
    update_.UpdateTopClassName(Dsn(5), 1, "inner");
    GetObjectContext().SetAbort();
  });
  EXPECT_EQ(TopClassName(), "财务");

  // A nested failure the outer call catches leaves the abort vote standing:
  // the outer call's own writes go too.
  RunInCallScope(runtime_, true, [&] {
    update_.UpdateTopClassName(Dsn(5), 1, "outer");
    EXPECT_NE(ErrorOf([&] { update_.UpdateSystemFunc(Dsn(5), 1001, nullptr); }), std::nullopt);
  });
  EXPECT_EQ(TopClassName(), "财务");

  // Both nested writes complete: both stand.
  RunInCallScope(runtime_, true, [&] {
    update_.UpdateTopClassName(Dsn(5), 1, "first");
    update_.UpdateSystemFunc(Dsn(5, "en"), 1001, test::UpdateTest::Values({{"NewName", Variant("second")}}));
  });
  EXPECT_EQ(TopClassName(), "first");
  EXPECT_EQ(SubSystemName(5), "second");
}

TEST_F(WriteFrameTest, ANestedCallOnTheSameObjectLeavesTheOuterRequestIntact) {
  // The nested frame replaces the object's context; the outer request keeps
  // its own (under the sanitizers a freed one would be reported here).
  RequestContext context;
  RunStandardWrite(runtime_, context, Dsn(5, "en"), [&](WriteRequest& outer) {
    RunSwallowingWrite(runtime_, context, Dsn(7, "cht"), [&](WriteRequest& inner) {
      EXPECT_EQ(inner.parse.UserID(), 7);
    });
    EXPECT_EQ(context.parse->UserID(), 7);
    EXPECT_EQ(outer.parse.UserID(), 5);
    EXPECT_EQ(outer.parse.LanguageID(), "en");
    EXPECT_EQ(outer.data_source.ParseObject()->UserID(), 5);
    BumpStamp(outer.connection, outer.parse, /*template_stamp=*/false);
  });
}

TEST_F(WriteFrameTest, ASwallowedNestedFailureLeavesNothingEvenWhenTheOuterCallCompletes) {
  AddFault("refuse_bump",
           "BEFORE UPDATE ON t_DataFlowTimeStamp "
           "WHEN (SELECT FIsNormal FROM t_DataFlowDetailFunc WHERE FDetailFuncID = 10010101) = 1",
           "refused");
  RunInCallScope(runtime_, true, [&] {
    update_.UpdateTopClassName(Dsn(5), 1, "kept");
    update_.UpdateDetailFunc(Dsn(5), 10010101, "X", "Y", "录入");
    GetObjectContext().SetComplete();
  });
  EXPECT_EQ(TopClassName(), "kept");
  EXPECT_EQ(Row("SELECT FIsNormal FROM t_DataFlowDetailFunc WHERE FDetailFuncID = 10010101")["FIsNormal"], "0");
}

TEST_F(WriteFrameTest, TwoThreadsWritingToOneUserBothSucceed) {
  constexpr int kRounds = 40;
  std::atomic<int> failures{0};
  auto writer = [&](int32_t sub_system, const std::string& prefix) {
    DatasUpdate update(runtime_);
    for (int round = 0; round < kRounds; ++round) {
      try {
        update.UpdateSystemFunc(Dsn(5, "en"), sub_system,
                                test::UpdateTest::Values({{"NewName", Variant(prefix + std::to_string(round))},
                                                          {"Index", Variant(round)}}));
      } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
        ++failures;
      }
    }
  };
  auto before = Stamps();
  std::thread first(writer, 1001, "a");
  std::thread second(writer, 2001, "b");
  first.join();
  second.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(SubSystemName(5), "a" + std::to_string(kRounds - 1));
  EXPECT_EQ(Row("SELECT FName_EN FROM t_UserSubSystem WHERE FSubSysID = 2001 AND FUserID = 5")["FName_EN"],
            "b" + std::to_string(kRounds - 1));
  EXPECT_EQ(MovedSince(before), (std::set<std::string>{"DataFlow5"}));
}

}  // namespace
}  // namespace lxm

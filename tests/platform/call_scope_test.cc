// Calls, votes, savepoints and the SQLite pool, seen from the database.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "core/cdatasource.h"
#include "core/request_context.h"
#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "test_support/account_fixture.h"
#include "test_support/error_matchers.h"

namespace lxm {
namespace {

class CallScopeTest : public test::AccountTest {
 protected:
  int64_t ProfileRows() {
    return Scalar("SELECT COUNT(*) FROM t_DataFlowProfile").AsLong();
  }
  void InsertProfile(Transaction& txn, const std::string& name) {
    txn.Execute("INSERT INTO t_DataFlowProfile (FName, FValue) VALUES (?, ?)",
                {Variant(name), Variant("v")});
  }
  Transaction& Txn() { return CallScope::Current()->TransactionFor(connect_string_); }
};

TEST_F(CallScopeTest, VotesDecideCommitOrRollback) {
  {
    CallScope scope(runtime_);
    InsertProfile(Txn(), "no vote");
    scope.Finish();
  }
  {
    CallScope scope(runtime_);
    GetObjectContext().SetAbort();
    InsertProfile(Txn(), "aborted");
    GetObjectContext().SetComplete();  // the last vote wins
    scope.Finish();
  }
  {
    CallScope scope(runtime_);
    GetObjectContext().SetComplete();
    InsertProfile(Txn(), "rolled back");
    GetObjectContext().SetAbort();
    scope.Finish();
  }
  Recordset rs = Query("SELECT FName FROM t_DataFlowProfile ORDER BY FName");
  ASSERT_EQ(rs.RecordCount(), 2);
  EXPECT_EQ(rs.Value("FName").AsString(), "aborted");
  rs.MoveNext();
  EXPECT_EQ(rs.Value("FName").AsString(), "no vote");
}

TEST_F(CallScopeTest, AFailingWriteWithAbortVoteLeavesNothing) {
  auto failing_call = [&] {
    RunInCallScope(runtime_, true, [&] {
      GetObjectContext().SetAbort();
      InsertProfile(Txn(), "first");
      // Violates the key: the second statement fails.
      InsertProfile(Txn(), "first");
      GetObjectContext().SetComplete();
    });
  };
  EXPECT_EQ(test::ErrorNumberOf(failing_call), errors::kDatabase);
  EXPECT_EQ(ProfileRows(), 0);
  EXPECT_EQ(CallScope::Current(), nullptr);
}

TEST_F(CallScopeTest, SwallowedFailureWithAbortVoteStillRollsBack) {
  RunInCallScope(runtime_, true, [&] {
    GetObjectContext().SetAbort();
    try {
      InsertProfile(Txn(), "half");
      throw RuntimeError(errors::kTypeMismatch);
    } catch (const ComError&) {
      // swallowed: the method returns normally, its abort vote standing
    }
  });
  EXPECT_EQ(ProfileRows(), 0);
}

TEST_F(CallScopeTest, NestedCallJoinsTheOuterTransaction) {
  RunInCallScope(runtime_, false, [&] {
    RunInCallScope(runtime_, true, [&] {
      InsertProfile(Txn(), "inner");
      GetObjectContext().SetComplete();
    });
    // The inner call did not commit on its own: the outer sees its write in
    // the same transaction and its abort vote undoes it.
    EXPECT_EQ(Txn().Query("SELECT COUNT(*) FROM t_DataFlowProfile").Value(size_t{0}).AsLong(), 1);
    GetObjectContext().SetAbort();
  });
  EXPECT_EQ(ProfileRows(), 0);
}

TEST_F(CallScopeTest, SkippedStepRollsBackOnlyItsOwnWrites) {
  RunInCallScope(runtime_, true, [&] {
    InsertProfile(Txn(), "before");
    bool ok = RunSkippingFailure(Txn(), [&] {
      InsertProfile(Txn(), "inside");
      InsertProfile(Txn(), "before");  // fails
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(RunSkippingFailure(Txn(), [&] { InsertProfile(Txn(), "after"); }));
  });
  Recordset rs = Query("SELECT FName FROM t_DataFlowProfile ORDER BY FName");
  ASSERT_EQ(rs.RecordCount(), 2);
  EXPECT_EQ(rs.Value("FName").AsString(), "after");
  rs.MoveNext();
  EXPECT_EQ(rs.Value("FName").AsString(), "before");
}

TEST_F(CallScopeTest, TextValuesAreBoundExactly) {
  const std::string tricky = "O'Brien's \"ledger\"; DROP TABLE t_DataFlowProfile; --" +
                             std::string(150, 'x') + " 总账";
  Exec("INSERT INTO t_DataFlowProfile (FName, FValue) VALUES (?, ?)", {Variant("k"), Variant(tricky)});
  EXPECT_EQ(Scalar("SELECT FValue FROM t_DataFlowProfile WHERE FName = ?", {Variant("K")}).AsString(),
            tricky);
}

TEST_F(CallScopeTest, RecordsetKeepsFieldNamesAndTypes) {
  Exec("INSERT INTO t_DataFlowTopClass (FTopClassID, FTopClassName, FTopClassName_EN, FIndex) "
       "VALUES (1, '总账', 'Ledger', 10)");
  Recordset rs = Query("SELECT FTopClassID, FTopClassName_EN As FTopClassName, FToolTips, "
                       "t1.FIndex FROM t_DataFlowTopClass t1");
  ASSERT_EQ(rs.Fields().size(), 4u);
  EXPECT_EQ(rs.Fields()[0].name, "FTopClassID");
  EXPECT_EQ(rs.Fields()[0].type, FieldType::kInteger);
  EXPECT_EQ(rs.Fields()[1].name, "FTopClassName");
  EXPECT_EQ(rs.Fields()[1].type, FieldType::kVarWChar);
  EXPECT_EQ(rs.Fields()[3].name, "FIndex");
  EXPECT_EQ(rs.Value("ftopclassname").AsString(), "Ledger");
  EXPECT_TRUE(rs.Value("FToolTips").IsNull());
  EXPECT_EQ(rs.Value("FIndex").AsLong(), 10);
}

TEST_F(CallScopeTest, TextEqualityIgnoresCaseAndBlankTestCountsBlanksAsEmpty) {
  Exec("INSERT INTO t_DataFlowDetailFunc (FDetailFuncID, FHelpCode, FAcctType) VALUES (1, 'AB12', ' ')");
  EXPECT_EQ(Scalar("SELECT FDetailFuncID FROM t_DataFlowDetailFunc WHERE FHelpCode = ?",
                   {Variant("ab12")}).AsLong(), 1);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_DataFlowDetailFunc WHERE COALESCE(RTRIM(FAcctType), '') = ''")
                .AsLong(), 1);
}

TEST_F(CallScopeTest, MissingDatabaseFileIsAnErrorAndIsNotCreated) {
  std::string missing = (dir_.path() / "nope.db").string();
  auto open = [&] {
    RunInCallScope(runtime_, false, [&] {
      CallScope::Current()->TransactionFor(SQLiteConnectString(missing)).Query("SELECT 1");
    });
  };
  std::optional<ComError> error = test::ErrorOf(open);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), errors::kDatabase);
  EXPECT_EQ(error->source(), "SQLite");
  EXPECT_NE(error->description().find("nope.db"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(CallScopeTest, UnknownProviderIsAnError) {
  auto open = [&] {
    RunInCallScope(runtime_, false, [&] {
      CallScope::Current()->TransactionFor("Provider=SQLOLEDB;Data Source=x").Query("SELECT 1");
    });
  };
  std::optional<ComError> error = test::ErrorOf(open);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->source(), "ADODB.Connection");
}

TEST_F(CallScopeTest, DataSourceConnectionsReportTheirIsolationAndShareTheCall) {
  RequestContext context = PrepareContext(runtime_, Dsn(1));
  RunInCallScope(runtime_, true, [&] {
    DbConnection committed = context.data_source->Connection();
    EXPECT_EQ(committed.isolation(), IsolationLevel::kReadCommitted);
    committed.Execute("INSERT INTO t_DataFlowProfile (FName, FValue) VALUES ('a', 'b')");
    DbConnection dirty = context.data_source->UncommitedConnection();
    EXPECT_EQ(dirty.isolation(), IsolationLevel::kReadUncommitted);
    EXPECT_EQ(dirty.Query("SELECT COUNT(*) FROM t_DataFlowProfile").Value(size_t{0}).AsLong(), 1);
    context.data_source->SetDirtyRead(true);
    EXPECT_EQ(context.data_source->Connection().isolation(), IsolationLevel::kReadUncommitted);
  });
}

TEST_F(CallScopeTest, ConcurrentReadThenWriteCallsWaitInsteadOfFailing) {
  constexpr int kThreads = 6;
  constexpr int kCallsPerThread = 40;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCallsPerThread; ++i) {
        try {
          RunInCallScope(runtime_, false, [&] {
            Transaction& txn = CallScope::Current()->TransactionFor(connect_string_);
            // Read first, then write: the transaction must take the write
            // lock without tripping over a stale read snapshot.
            int64_t before = txn.Query("SELECT COUNT(*) FROM t_DataFlowProfile").Value(size_t{0}).AsLong();
            txn.Execute("INSERT INTO t_DataFlowProfile (FName, FValue) VALUES (?, ?)",
                        {Variant("t" + std::to_string(t) + "_" + std::to_string(i)),
                         Variant::FromInt64(before)});
          });
        } catch (const std::exception& error) {
          ADD_FAILURE() << error.what();
          ++failures;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(ProfileRows(), kThreads * kCallsPerThread);
}

}  // namespace
}  // namespace lxm

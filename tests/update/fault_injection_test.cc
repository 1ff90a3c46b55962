// Every write of the type library, failed at each statement it sends and at
// each commit in turn, on a representative input: the database after the
// failed call is the database before it, table by table with the stamps, or,
// where the write skips a failing step, the whole write without that step.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dictionary.h"
#include "platform/refresh_component.h"
#include "platform/text_util.h"
#include "server/dispatcher.h"
#include "server/type_library.h"
#include "test_support/account_fixture.h"
#include "test_support/database_dump.h"
#include "test_support/faulty_connection.h"

namespace lxm {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kUpdate = "LXMDataFlow.DatasUpdate";
constexpr std::string_view kClsDataInfo = "LXMDataFlow.clsDataInfo";

struct WriteCase {
  const char* name;  // of the test
  std::string_view prog_id;
  const char* method;
  // JSON arguments; "$U", "$V" and "$N" stand for the descriptors of users
  // 16394, 16395 and 16396 (who has no stamp row yet), "$EXPORT" for the
  // layout ExportUserData gives for 16394.
  const char* args;
  // Savepoints this deep or deeper are steps the write skips when they fail
  // (and goes on); 0: the write skips nothing.
  int step_depth = 0;
  // Commands and registration: no database is reached at all.
  bool reaches_database = true;
  // The call's transaction begins in a nested call that swallows its own
  // failures: a failed BEGIN skips that call's step, and the rest goes on.
  bool begins_in_step = false;
};

const WriteCase kWrites[] = {
    {"UpdateTopClass_Overlay", kUpdate, "UpdateTopClass",
     R"(["$U", 1, {"NewName": "新名", "Index": 12, "Visible": false}])"},
    {"UpdateTopClass_Template", kUpdate, "UpdateTopClass",
     R"(["$U", 2, {"NewName": "新名", "Index": 12, "FShowSysType": 3}, true])"},
    {"UpdateSystemFunc_Overlay", kUpdate, "UpdateSystemFunc",
     R"(["$U", 2001, {"NewName": "Mine", "Index": 3, "Visible": false}])"},
    {"UpdateSystemFunc_Template", kUpdate, "UpdateSystemFunc",
     R"(["$U", 1001, {"NewName": "T", "Index": 5}, true])"},
    {"UpdateSubSysFunc_Overlay", kUpdate, "UpdateSubSysFunc", R"(["$U", 100101, {"NewName": "x", "Index": 5}])"},
    {"UpdateSubSysFunc_Template", kUpdate, "UpdateSubSysFunc",
     R"(["$U", 100102, {"NewName": "y", "Visible": false}, true])"},
    {"UpdateDetailFuncAttr_Overlay", kUpdate, "UpdateDetailFuncAttr",
     R"(["$U", 10010101, {"NewName": "Enter", "HelpCode": "HC", "Enable": false, "Index": 4}])"},
    {"UpdateDetailFuncAttr_Template", kUpdate, "UpdateDetailFuncAttr",
     R"(["$U", 10010102, {"NewName": "Enter", "Visible": false, "Index": 4}, true])"},
    {"UpdateTopClassName", kUpdate, "UpdateTopClassName", R"(["$U", 1, "新名"])"},
    {"UpdateSystemFuncName", kUpdate, "UpdateSystemFuncName", R"(["$U", 1001, "新名"])"},
    {"UpdateSystemHelpFile", kUpdate, "UpdateSystemHelpFile", R"(["$U", 1001, "gl.chm"])"},
    {"UpdateSubSysFuncName", kUpdate, "UpdateSubSysFuncName", R"(["$U", 100101, "新名"])"},
    {"UpdateAcctTypeName", kUpdate, "UpdateAcctTypeName", R"(["$U", 1, "新名"])"},
    {"UpdateDetailFunc", kUpdate, "UpdateDetailFunc", R"(["$U", 10010101, "PZ", "显示", "凭证录入"])"},
    {"AppendNormalItem", kUpdate, "AppendNormalItem", R"(["$U", 10010102, "PZCX", "查询", "凭证查询", 1])"},
    {"AddNormalItem", kUpdate, "AddNormalItem", R"(["$U", 10010103, "PZSH", "审核", "凭证审核", 1])"},
    {"DelNormalFunc", kUpdate, "DelNormalFunc", R"(["$U", 10010101])"},
    // The nested SetDetailFuncNotNormal is a step it skips when it fails.
    {"ClearNormalList", kUpdate, "ClearNormalList", R"(["$U", 1])", 1, true, true},
    {"AddNormalFuncGroup", kUpdate, "AddNormalFuncGroup", R"(["$U", "新组", "新组"])"},
    {"DelNormalFuncGroup", kUpdate, "DelNormalFuncGroup", R"(["$U", 2])"},
    {"UpdateNormalFuncGroup", kUpdate, "UpdateNormalFuncGroup", R"(["$U", 3, "新组"])"},
    {"SetDetailFuncNotNormal", kUpdate, "SetDetailFuncNotNormal", R"(["$U"])"},
    {"SetProfileValue", kUpdate, "SetProfileValue", R"(["$U", "Layout", "2"])"},
    {"ExecCmd", kUpdate, "ExecCmd", R"(["true"])", 0, false},
    {"GetActiveXFilePath", kUpdate, "GetActiveXFilePath", R"(["LXMDataFlow.DatasInfo"])", 0, false},
    {"RegMiddle", kUpdate, "RegMiddle", R"(["8.0"])", 0, false},
    {"CreateSubSys", kUpdate, "CreateSubSys",
     R"(["$U", 1, 9, {"FSubSysID": 8777, "FSysName": "新", "FSubID": "NEW"}, true])"},
    {"CreateTopClass_Overlay", kUpdate, "CreateTopClass", R"(["$U", 30, {"FTopClassID": 1005, "FShowSysType": 2}])"},
    {"CreateTopClass_Template", kUpdate, "CreateTopClass", R"(["$U", 35, {"FTopClassID": 9}, true])"},
    {"DeleteItem_TemplateSubsystem", kUpdate, "DeleteItem", R"(["$U", 100000, 1001, true])"},
    {"DeleteItem_OverlayTopClass", kUpdate, "DeleteItem", R"(["$U", 1000, 1, false])"},
    {"SetDefault", kUpdate, "SetDefault", R"(["$U"])"},
    {"ApplyAllUser", kUpdate, "ApplyAllUser", R"(["$U", [16395, 16396]])"},
    {"RefreshDetailFunc", kUpdate, "RefreshDetailFunc",
     R"(["$U", 100101, [{"FFuncName": "录入", "FHelpCode": "PZLR", "FFuncType": "3"},
                        {"FDetailFuncID": 10010177, "FFuncName": "新"}], true, true])"},
    {"CreateDetailFunc", kUpdate, "CreateDetailFunc", R"(["$U", 100101, 5, {"FFuncName": "新", "FFuncType": "4"}])"},
    {"CreateSubFunc", kUpdate, "CreateSubFunc", R"(["$U", 1001, 9, {"FFuncName": "新"}])"},
    {"ImportUserData", kUpdate, "ImportUserData", R"(["$V", "$EXPORT"])"},
    {"RefreshSubFunc_Template", kUpdate, "RefreshSubFunc",
     R"(["$U", 1001, [{"FSubFuncID": 100111, "FFuncName": "一"}, {"FSubFuncID": 0, "FFuncName": "二"}], true, true])",
     1},
    {"RefreshSubFunc_Overlay", kUpdate, "RefreshSubFunc",
     R"(["$U", 1001, [{"FSubFuncID": 0, "FFuncName": "我的"}], true, false])", 1},
    {"RefreshSubFunc_Visibility", kUpdate, "RefreshSubFunc",
     R"(["$U", 1001, [{"FSubFuncID": 100101, "FVisible": false}, {"FSubFuncID": 100102, "FVisible": false}],
         false, false])",
     1},
    // Under the swallowing frame's savepoint, one per subsystem, and the
    // steps of each inside that.
    {"RefreshActivFunc", kUpdate, "RefreshActivFunc", R"(["$U"])", 2},
    // Each nested UpdateFuncEnable is a call of its own whose failure is
    // its own: a step inside the swallowing frame.
    {"ReFreshStatus", kUpdate, "ReFreshStatus", R"(["$U", 100101, 6])", 2},
    {"UpdateFuncEnable", kUpdate, "UpdateFuncEnable", R"(["$U", 10060103])"},
    {"UpdateSysBaseData", kUpdate, "UpdateSysBaseData", R"(["$U"])"},
    // A read that writes: the first read of a user makes the stamp row.
    {"FirstReadOfAUser", kClsDataInfo, "GetUserData", R"(["$N"])"},
};

// Names the case in test listings, instead of its bytes.
void PrintTo(const WriteCase& write, std::ostream* out) { *out << write.name; }

// Subsystems 1001 and 1002 are refreshed from this component: two
// sub-functions each.
class ListingComponent : public RefreshComponent {
 public:
  Variant GetRefreshFunc(Variant& dictionary) override {
    int32_t id = dictionary.AsDictionary()->Item("FSubSysID").AsLong();
    auto list = Vector::Create();
    for (int n = 1; n <= 2; ++n) {
      auto item = Dictionary::Create();
      item->Set("FSubFuncID", Variant(n == 1 ? id * 100 + 11 : 0));
      item->Set("FFuncName", Variant("refreshed " + std::to_string(n)));
      list->Append(Variant(item));
    }
    return Variant(list);
  }
};

// The stamp rows of a dump as "unchanged" or "moved" against `before`: on
// PostgreSQL the values come from a sequence that a rollback does not set
// back, so two runs that move the same stamps give them different values.
std::string StampsAsMoved(const std::string& dump, const std::string& before) {
  auto lines = [](const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) all.push_back(std::move(line));
    return all;
  };
  std::vector<std::string> old = lines(before);
  const std::set<std::string> old_lines(old.begin(), old.end());
  std::string out;
  bool in_stamps = false;
  for (std::string& line : lines(dump)) {
    if (line.starts_with("[")) {
      in_stamps = EqualsIgnoreCase(line, "[t_DataFlowTimeStamp]");
    } else if (in_stamps && !old_lines.count(line)) {
      line = line.substr(0, line.rfind('|')) + "|moved";
    }
    out += line + "\n";
  }
  return out;
}

// The first line where two dumps differ, for the failure message (a dump
// is too long to print whole).
std::string FirstDifference(const std::string& actual, const std::string& expected) {
  size_t line_start = 0;
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
    if (actual[at] == '\n') line_start = at + 1;
    ++at;
  }
  if (at == actual.size() && at == expected.size()) return "";
  auto line = [&](const std::string& text) { return text.substr(line_start, text.find('\n', line_start) - line_start); };
  size_t table = expected.rfind("\n[", line_start);
  std::string where = table == std::string::npos ? "" : expected.substr(table + 1, expected.find('\n', table + 1) - table - 1);
  return "in " + where + ": got \"" + line(actual) + "\", expected \"" + line(expected) + "\"";
}

// The (method, k) pairs this run tried, printed once at its end.
int pairs_tried = 0;

class PairTotal : public ::testing::Environment {
 public:
  void TearDown() override {
    if (pairs_tried > 0) std::cout << "[ faults ] " << pairs_tried << " (method, k) pairs tried in all\n";
  }
};

[[maybe_unused]] ::testing::Environment* const kPairTotal = ::testing::AddGlobalTestEnvironment(new PairTotal);

class FaultInjectionTest : public test::AccountTest, public ::testing::WithParamInterface<WriteCase> {
 protected:
  FaultInjectionTest() { demo_ = true; }

  void SetUp() override {
    AccountTest::SetUp();
    DatabaseSettings settings;
    settings.wrap_connection = plan_.Wrapper();
    runtime_.databases().Configure(settings);
    runtime_.databases().Clear();
    server::DispatcherOptions options;
    options.enable_exec = true;
    dispatcher_.emplace(runtime_, server::PublicTypeLibrary(), options);

    // A site that has served its users: their stamp rows exist.
    for (int32_t user : {0, 16394, 16395}) {
      ASSERT_EQ(Call(kClsDataInfo, "GetUserTemplateVer", Json::array({Dsn(user)}).dump()).status, 200);
    }
    Exec("UPDATE t_DataFlowSubSystem SET FRefresh = 0");
    Exec("UPDATE t_DataFlowSubSystem SET FRefresh = 1, FSubID = NULL, FClassName = 'Test.Listing' "
         "WHERE FSubSysID IN (1001, 1002)");
    runtime_.components().Register("Test.Listing", [] { return std::make_shared<ListingComponent>(); });
  }

  void TearDown() override { runtime_.databases().Clear(); }

  server::Reply Call(std::string_view prog_id, std::string_view method, const std::string& args) {
    return dispatcher_->Call(prog_id, method, R"({"args":)" + args + "}");
  }

  // The call with `faults`, from fresh handles: nothing kept from an
  // earlier call changes which statements it sends.
  server::Reply Run(const WriteCase& write, const std::string& args, const test::FaultPlan::Faults& faults) {
    runtime_.databases().Clear();
    plan_.Arm(faults);
    server::Reply reply = Call(write.prog_id, write.method, args);
    plan_.Disarm();
    return reply;
  }

  std::string Args(const WriteCase& write) {
    std::string text = write.args;
    auto put = [&](const std::string& mark, const std::string& json) {
      for (size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, mark.size(), json);
    };
    put(R"("$U")", Json(Dsn(16394)).dump());
    put(R"("$V")", Json(Dsn(16395)).dump());
    put(R"("$N")", Json(Dsn(16396)).dump());
    if (text.find("$EXPORT") != std::string::npos) {
      server::Reply exported = Call("LXMDataFlow.DatasInfo", "ExportUserData", Json::array({Dsn(16394)}).dump());
      put(R"("$EXPORT")", Json::parse(exported.Text())["result"].dump());
    }
    return text;
  }

  std::string Dump() {
    return test::DumpDatabase([&](const std::string& sql) { return Query(sql); });
  }

  void Restore() {
    runtime_.databases().Clear();
    account_->RestoreCopy();
  }

  test::FaultPlan plan_;
  std::optional<server::Dispatcher> dispatcher_;
};

TEST_P(FaultInjectionTest, AFailedStatementOrCommitLeavesNothingButTheStepsTheWriteKeeps) {
  const WriteCase& write = GetParam();
  const std::string args = Args(write);
  runtime_.databases().Clear();
  account_->SaveCopy();
  const std::string before = Dump();

  server::Reply whole = Run(write, args, {});
  const std::vector<test::TracedStatement> trace = plan_.trace();
  const int commits = plan_.commits();
  if (!write.reaches_database) {
    EXPECT_EQ(trace.size(), 0u);
    EXPECT_EQ(commits, 0);
    return;
  }
  ASSERT_EQ(whole.status, 200) << whole.Text();
  ASSERT_NE(FirstDifference(Dump(), before), "") << "the input must make the write change something";
  ASSERT_GT(commits, 0);
  Restore();

  // The whole write with one step rolled back where it ends, by savepoint.
  std::map<int, std::string> without_step;
  auto WithoutStep = [&](int savepoint) -> const std::string& {
    auto found = without_step.find(savepoint);
    if (found != without_step.end()) return found->second;
    server::Reply reply = Run(write, args, {.undo_savepoint = savepoint});
    EXPECT_EQ(reply.status, 200) << reply.Text();
    std::string dump = StampsAsMoved(Dump(), before);
    Restore();
    return without_step.emplace(savepoint, std::move(dump)).first->second;
  };

  int pairs = 0;
  for (int k = 1; k <= static_cast<int>(trace.size()); ++k) {
    const test::TracedStatement& failing = trace[k - 1];
    SCOPED_TRACE("statement " + std::to_string(k) + " of " + std::to_string(trace.size()) + ": " + failing.text);
    // The step a failure of this statement skips, if any.
    const test::TracedStatement& step =
        write.begins_in_step && failing.text.starts_with("BEGIN") && k < static_cast<int>(trace.size())
            ? trace[k]
            : failing;
    int skipped_savepoint = step.savepoint;
    int skipped_depth = step.depth;
    // PostgreSQL aborts the transaction at a failed statement; when the
    // step's own savepoint could not be taken, only the step around it can
    // go back (or, with none, the whole call fails).
    if (test::OnPostgres() && failing.text == "SAVEPOINT") {
      skipped_savepoint = step.outer_savepoint;
      skipped_depth = step.depth - 1;
    }
    bool skipped = write.step_depth > 0 && skipped_depth >= write.step_depth;
    const std::string* expected = skipped ? &WithoutStep(skipped_savepoint) : &before;

    server::Reply reply = Run(write, args, {.fail_statement = k});
    ++pairs;
    EXPECT_TRUE(plan_.fired());
    // The same statements as the whole write, up to the failing one.
    ASSERT_GE(plan_.trace().size(), static_cast<size_t>(k));
    for (int i = 0; i < k; ++i) ASSERT_EQ(plan_.trace()[i].text, trace[i].text) << "statement " << i + 1;
    std::string after = Dump();
    if (skipped) {
      EXPECT_EQ(reply.status, 200) << reply.Text();
      EXPECT_EQ(FirstDifference(StampsAsMoved(after, before), *expected), "");
      Restore();
    } else {
      EXPECT_EQ(FirstDifference(after, before), "");
      if (after != before) Restore();
    }
  }
  for (int k = 1; k <= commits; ++k) {
    SCOPED_TRACE("commit " + std::to_string(k) + " of " + std::to_string(commits));
    server::Reply reply = Run(write, args, {.fail_commit = k});
    ++pairs;
    EXPECT_TRUE(plan_.fired());
    std::string after = Dump();
    EXPECT_EQ(FirstDifference(after, before), "");
    if (after != before) Restore();
  }
  std::cout << "[ faults ] " << write.method << " (" << write.name << "): " << trace.size() << " statements, "
            << commits << " commits, " << pairs << " (method, k) pairs\n";
  pairs_tried += pairs;
}

INSTANTIATE_TEST_SUITE_P(EveryWrite, FaultInjectionTest, ::testing::ValuesIn(kWrites),
                         [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST(FaultInjectionCoverageTest, EveryMethodOfTheUpdateClassHasARepresentativeWrite) {
  std::set<std::string> covered;
  for (const WriteCase& write : kWrites) {
    if (write.prog_id == kUpdate) covered.insert(write.method);
  }
  const server::ClassInfo* update = server::PublicTypeLibrary().Find(kUpdate);
  ASSERT_NE(update, nullptr);
  for (const server::MethodInfo& method : update->methods()) EXPECT_TRUE(covered.count(method.name)) << method.name;
}

}  // namespace
}  // namespace lxm

// Two `serve` processes on one account database, as behind a load balancer:
// what one host writes the other reads at once, and writes through both at
// the same time lose nothing.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "server/http_client.h"
#include "server/json_codec.h"
#include "test_support/account_fixture.h"
#include "test_support/cli_process.h"

namespace lxm {
namespace {

using Json = nlohmann::json;

class SeveralHostsTest : public test::AccountTest {
 protected:
  void SetUp() override {
    demo_ = true;
    AccountTest::SetUp();
    std::vector<std::string> args = CliArgs();
    args.insert(args.end(), {"--workers", "4"});
    first_.emplace(args);
    second_.emplace(args);
    ASSERT_FALSE(first_->url().empty()) << first_->output();
    ASSERT_FALSE(second_->url().empty()) << second_->output();
  }

  static server::HttpReply Call(const test::ServeProcess& host, const std::string& method, const Json& args) {
    return server::PostCall(host.url(), method, args.dump());
  }

  std::optional<test::ServeProcess> first_;
  std::optional<test::ServeProcess> second_;
};

TEST_F(SeveralHostsTest, AWriteThroughOneHostIsSeenByTheNextReadThroughTheOther) {
  const std::string dsn = Dsn(16394);
  // The template as the host serves it (a cached snapshot under its stamp).
  auto top_classes = [&](const test::ServeProcess& host) {
    server::HttpReply reply = Call(host, "LXMDataFlow.clsDataInfo/GetTemplate", Json::array({dsn}));
    EXPECT_EQ(reply.status, 200) << reply.body;
    return reply.body;
  };
  // Each host has the listing cached under the stamps it read.
  for (const test::ServeProcess* host : {&*first_, &*second_, &*first_, &*second_}) {
    EXPECT_EQ(top_classes(*host).find("Ledger renamed"), std::string::npos);
  }
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const test::ServeProcess& writer = round % 2 == 0 ? *first_ : *second_;
    const test::ServeProcess& reader = round % 2 == 0 ? *second_ : *first_;
    const std::string name = "Ledger renamed " + std::to_string(round);
    server::HttpReply renamed = Call(writer, "LXMDataFlow.DatasUpdate/UpdateTopClassName", Json::array({dsn, 1, name}));
    ASSERT_EQ(renamed.status, 200) << renamed.body;
    EXPECT_NE(top_classes(reader).find(name), std::string::npos) << "the other host served its old copy";
    EXPECT_NE(top_classes(writer).find(name), std::string::npos);
  }
}

TEST_F(SeveralHostsTest, FavouritesAddedThroughBothHostsAtOnceAreAllKeptInOneDefaultGroup) {
  constexpr int kPerHost = 20;
  constexpr int kUser = 77;  // no favourites and no groups yet
  const std::string dsn = Dsn(kUser, "en");
  // The functions first_ adds are `base` + 0.., second_'s `base` + 1000..;
  // both hosts at once. The number of calls that failed.
  auto add_through_both = [&](int32_t base, int32_t group) {
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < 2; ++w) {
      writers.emplace_back([&, w] {
        for (int i = 0; i < kPerHost; ++i) {
          int32_t function = base + w * 1000 + i;
          server::HttpReply reply = Call(w == 0 ? *first_ : *second_, "LXMDataFlow.DatasUpdate/AddNormalItem",
                                         Json::array({dsn, function, "H" + std::to_string(function), "shown",
                                                      "name", group}));
          if (reply.status != 200) ++failures;
        }
      });
    }
    for (std::thread& writer : writers) writer.join();
    return failures.load();
  };

  // Into the default group (-1), which whichever call comes first creates.
  EXPECT_EQ(add_through_both(50000000, -1), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_NormalFuncGroup WHERE FUserID = ?", {Variant(kUser)}).AsLong(), 1);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_NormalFunc WHERE FUserID = ?", {Variant(kUser)}).AsLong(), 2 * kPerHost);
  EXPECT_EQ(Scalar("SELECT COUNT(DISTINCT FFuncGroupID) FROM t_NormalFunc WHERE FUserID = ?", {Variant(kUser)})
                .AsLong(),
            1);

  // Into that group by its number: every item arrives.
  const int32_t group = static_cast<int32_t>(
      Scalar("SELECT FFuncGroupID FROM t_NormalFuncGroup WHERE FUserID = ?", {Variant(kUser)}).AsLong());
  EXPECT_EQ(add_through_both(60000000, group), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t_NormalFunc WHERE FUserID = ? AND FFuncGroupID = ?",
                   {Variant(kUser), Variant(group)})
                .AsLong(),
            4 * kPerHost);

  // What either host lists is what the database holds.
  for (const test::ServeProcess* host : {&*first_, &*second_}) {
    server::HttpReply listed = Call(*host, "LXMDataFlow.DatasInfo/GetNormalFunc", Json::array({dsn, group}));
    ASSERT_EQ(listed.status, 200) << listed.body;
    for (int32_t last : {50000000, 50001000, 60000000, 60001000}) {
      EXPECT_NE(listed.body.find(std::to_string(last + kPerHost - 1)), std::string::npos) << last;
    }
  }
}

}  // namespace
}  // namespace lxm

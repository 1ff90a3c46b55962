// The write-test tree plus what the detail-function synchronisation works
// on: sub-function 600201 with its class-parameter functions, users' own
// detail rows and favourites, and a flow-chart node.
#ifndef LXM_TESTS_UPDATE_DETAIL_SYNC_FIXTURE_H_
#define LXM_TESTS_UPDATE_DETAIL_SYNC_FIXTURE_H_

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/dictionary.h"
#include "update/update_fixture.h"

namespace lxm::test {

// Besides UpdateTest's rows:
// Template 600201: 60020101 (class parameter "1", fixed), 60020108 ("3001"),
//   60020109 ("12"), 60020150 ("50"); 10010101 has account types ",1,".
// User 5: own rows 10010101 ("我的录入"), 10010150 ("私有", "Private"),
//   1000000001 (user-created, "自建") under 100101; 60020170 ("99") under
//   600201. Favourites 10010101, 10010150, 1000000001 and 20000001.
// User 6: own rows 60020109 ("12") and 60020160 ("60"); favourites 10010150
//   and 60020109.
// User 7: own row 10010150 ("七的私有").
// Flow chart: node 1 of 10010101 with account types ",5,".
class DetailSyncTest : public UpdateTest {
 protected:
  void SetUp() override;

  using Entries = std::initializer_list<std::pair<std::string, Variant>>;
  static Variant Item(Entries entries) { return Variant(Values(entries)); }
  static std::shared_ptr<Vector> List(std::initializer_list<Variant> items);

  // IDs of a query's first column, in row order.
  std::vector<int32_t> IdList(const std::string& sql, const Params& params = {});
  // Both detail tables and the favourites, every column, in key order.
  std::string Dump();
  // How many negative IDs the three tables hold.
  int64_t Marks();
};

}  // namespace lxm::test

#endif  // LXM_TESTS_UPDATE_DETAIL_SYNC_FIXTURE_H_

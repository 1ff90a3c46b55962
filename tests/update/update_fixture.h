// A small tree for the write tests, and helpers to see what a write changed:
// stored rows and which stamp rows moved.
#ifndef LXM_TESTS_UPDATE_UPDATE_FIXTURE_H_
#define LXM_TESTS_UPDATE_UPDATE_FIXTURE_H_

#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/dictionary.h"
#include "test_support/account_fixture.h"
#include "update/datas_update.h"

namespace lxm::test {

// Template: top classes 1 and 2; subsystem 1001 under 1; sub-function 100101;
// detail functions 10010101 and 999999999 under it; account type 3.
// Overlay: user 0 (the shared default) has rows for subsystem 1001, for 2001
// (a template-sized ID the template lacks) and for 100005 (a user-created
// subsystem); user 6 has its own row for subsystem 1001; user 0 has rows for
// detail function 10010199 (not in the template).
// Stamp rows exist for the template and users 0, 5, 6 and 7; user 8 has none.
class UpdateTest : public AccountTest {
 protected:
  void SetUp() override;

  static std::shared_ptr<Dictionary> Values(std::initializer_list<std::pair<std::string, Variant>> entries);

  // Row versions of every stamp row, by name.
  std::map<std::string, int64_t> Stamps();
  // The names of the stamp rows whose version differs from `before`, and of
  // rows that appeared.
  std::set<std::string> MovedSince(const std::map<std::string, int64_t>& before);

  // One row as text values by column (Null as "<null>"), or an empty map.
  std::map<std::string, std::string> Row(const std::string& sql, const Params& params = {});
  int64_t Count(const std::string& sql, const Params& params = {});

  DatasUpdate update_{runtime_};
};

}  // namespace lxm::test

#endif  // LXM_TESTS_UPDATE_UPDATE_FIXTURE_H_

// A fresh account database per test, in its own temporary folder, with the
// schema and whatever rows the test inserts.
#ifndef LXM_TESTS_TEST_SUPPORT_ACCOUNT_FIXTURE_H_
#define LXM_TESTS_TEST_SUPPORT_ACCOUNT_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/call_scope.h"
#include "platform/recordset.h"
#include "platform/runtime.h"
#include "tree/account_setup.h"

namespace lxm::test {

// A temporary folder removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class AccountTest : public ::testing::Test {
 protected:
  // Creates the database with the schema (and the demo account when
  // `demo_`), before each test.
  void SetUp() override;

  // The descriptor of a user on this database.
  std::string Dsn(int32_t user_id, const std::string& language = "chs") const {
    return MakeDescriptor(path_, user_id, language);
  }

  // Statements run in a call of their own, committed at once.
  int64_t Exec(const std::string& sql, const Params& params = {});
  Recordset Query(const std::string& sql, const Params& params = {});
  // The first field of the first row, or Empty when there is no row.
  Variant Scalar(const std::string& sql, const Params& params = {});

  // The raw 64-bit row version of a stamp row, or -1 when missing.
  int64_t StampVersion(const std::string& name);

  bool demo_ = false;
  TempDir dir_;
  std::string path_;
  std::string connect_string_;
  Runtime runtime_;
};

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_ACCOUNT_FIXTURE_H_

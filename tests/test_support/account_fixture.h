// A fresh account database per test, on the run's backend (see
// scratch_account.h), with the schema and whatever rows the test inserts.
#ifndef LXM_TESTS_TEST_SUPPORT_ACCOUNT_FIXTURE_H_
#define LXM_TESTS_TEST_SUPPORT_ACCOUNT_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/call_scope.h"
#include "platform/recordset.h"
#include "platform/runtime.h"
#include "test_support/scratch_account.h"
#include "tree/account_setup.h"

namespace lxm::test {

class AccountTest : public ::testing::Test {
 protected:
  // Creates the database with the schema (and the demo account when
  // `demo_`), before each test.
  void SetUp() override;

  // The descriptor of a user on this database.
  std::string Dsn(int32_t user_id, const std::string& language = "chs") const {
    return DescriptorFor(connect_string_, user_id, language);
  }

  // Statements run in a call of their own, committed at once.
  int64_t Exec(const std::string& sql, const Params& params = {});
  Recordset Query(const std::string& sql, const Params& params = {});
  // The first field of the first row, or Empty when there is no row.
  Variant Scalar(const std::string& sql, const Params& params = {});

  // A trigger that refuses a write with `message`. `when` is SQLite's
  // "BEFORE UPDATE ON t_Table [WHEN condition]"; the condition may use NEW
  // and OLD. DropFault removes it again.
  void AddFault(const std::string& name, const std::string& when, const std::string& message);
  void DropFault(const std::string& name);
  // The error source of the run's backend.
  static std::string BackendName() { return OnPostgres() ? "PostgreSQL" : "SQLite"; }

  // A row version as a number, whichever form the backend stores it in.
  static int64_t VersionNumber(const Variant& stamp);
  // The raw 64-bit row version of a stamp row, or -1 when missing.
  int64_t StampVersion(const std::string& name);

  // The command-line options that name the database.
  std::vector<std::string> CliArgs() const { return account_->CliArgs(); }

  bool demo_ = false;
  TempDir dir_;  // for the test's own files
  // Declared before the runtime, so its pools close before the database goes.
  std::optional<ScratchAccount> account_;
  std::string path_;  // the SQLite file; empty on PostgreSQL
  std::string connect_string_;
  Runtime runtime_;

 private:
  std::map<std::string, std::string> fault_tables_;  // by trigger
};

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_ACCOUNT_FIXTURE_H_

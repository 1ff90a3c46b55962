// A layer around the handles of a pool that counts the statements and
// commits of a call and fails the one a test chooses, with a real error of
// the backend (so that PostgreSQL aborts the transaction as it would).
//
//   FaultPlan plan;
//   DatabaseSettings settings;
//   settings.wrap_connection = plan.Wrapper();
//   runtime.databases().Configure(settings);
//   plan.Arm({.fail_statement = 3});
//   ... the call ...
//   plan.Disarm();
//
// Statements are what a call sends: queries, writes, scripts, BEGIN and the
// savepoints it takes and releases (a rollback runs only after a failure and
// is not counted). Commits are counted apart.
//
// Thread-safety: one call at a time; the plan is not locked.
#ifndef LXM_TESTS_TEST_SUPPORT_FAULTY_CONNECTION_H_
#define LXM_TESTS_TEST_SUPPORT_FAULTY_CONNECTION_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/db/database.h"
#include "platform/db/native_connection.h"

namespace lxm::test {

// One statement a call sent, as the plan saw it.
struct TracedStatement {
  std::string text;
  // The innermost savepoint the statement runs under, which a step that
  // skips its failure rolls back to; taking and releasing a savepoint count
  // as under it. Savepoints are numbered from 1 in the order they are
  // taken; 0 when none is open.
  int savepoint = 0;
  // How many savepoints enclose that one, itself included; 0 for none.
  int depth = 0;
  // The savepoint just outside that one; 0 for none.
  int outer_savepoint = 0;
};

class FaultPlan {
 public:
  struct Faults {
    int fail_statement = 0;  // 1-based; 0: none
    int fail_commit = 0;     // 1-based; 0: none
    // This savepoint is rolled back where the call releases it: the call
    // as it would end with that step skipped, whatever the step did.
    int undo_savepoint = 0;
  };

  // Counts from zero again and applies `faults` until Disarm().
  void Arm(const Faults& faults);
  void Disarm() { armed_ = false; }

  int statements() const { return static_cast<int>(trace_.size()); }
  int commits() const { return commits_; }
  const std::vector<TracedStatement>& trace() const { return trace_; }
  // Whether the chosen statement or commit was reached and failed.
  bool fired() const { return fired_; }

  // For DatabaseSettings::wrap_connection. The plan must outlive the pools.
  std::function<std::unique_ptr<NativeConnection>(std::unique_ptr<NativeConnection>)> Wrapper();

 private:
  friend class FaultyConnection;

  bool armed_ = false;
  Faults faults_;
  std::vector<TracedStatement> trace_;
  int commits_ = 0;
  int savepoints_taken_ = 0;
  bool fired_ = false;
};

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_FAULTY_CONNECTION_H_

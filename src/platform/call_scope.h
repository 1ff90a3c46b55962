// Calls, transactions and votes: what the COM+ object context was.
//
// Every outermost public call runs in a CallScope. A public call made from
// inside another (on the same thread) joins the outer scope. The scope owns one
// Transaction per database touched; every connection handed out during the
// call is a handle on that transaction, so the call's reads see its own
// writes.
//
// Votes: SetComplete and SetAbort record a vote, the last one wins. When the
// outermost scope ends, an abort vote rolls every transaction back; a
// completion vote or no vote commits.
//
//   CallScope scope(runtime);
//   GetObjectContext().SetAbort();
//   ... work ...
//   GetObjectContext().SetComplete();
//   scope.Finish();   // commits; also done by the destructor
//
// SQLite allows one writer. A transaction begins as a reader; the first
// statement that writes (Transaction::Execute) takes the write lock, and a
// transaction that has read but not yet written restarts to take it, so that
// a stale read snapshot can never make the write fail. A scope created with
// `writes` takes the write lock at its first statement.
//
// Thread-safety: a scope belongs to the thread that created it.
#ifndef LXM_PLATFORM_CALL_SCOPE_H_
#define LXM_PLATFORM_CALL_SCOPE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/db/database.h"
#include "platform/db/native_connection.h"

namespace lxm {

class Runtime;

enum class Vote { kNone, kComplete, kAbort };

class ObjectContext {
 public:
  void SetComplete() { vote_ = Vote::kComplete; }
  void SetAbort() { vote_ = Vote::kAbort; }
  Vote vote() const { return vote_; }

 private:
  Vote vote_ = Vote::kNone;
};

// The work of one call on one database.
class Transaction {
 public:
  Transaction(std::shared_ptr<Database> database, bool write_intent);
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction();

  // A statement that reads.
  Recordset Query(std::string_view sql, const Params& params = {});
  // A statement that reads, in a call that reads only and has not begun its
  // transaction: run on its own, as of the newest commit, beginning nothing
  // (one round trip to a database server). Otherwise as Query. For values a
  // call checks again in its snapshot before it reads anything else
  // (version stamps: see BeginSnapshot).
  Recordset QueryAlone(std::string_view sql, const Params& params = {});
  // A statement that writes; takes the write lock first. Rows changed.
  int64_t Execute(std::string_view sql, const Params& params = {});
  // Statements without parameters that write (schema scripts).
  void ExecuteScript(std::string_view sql);

  // Takes the write lock now (see the class comment above).
  void RequireWrite();

  bool has_written() const { return wrote_; }
  // For a read whose only write is a side matter (a missing stamp row):
  // what that write was for, so that a failed commit says it. Ignored once
  // the transaction has written.
  void NoteSideWrite(std::string purpose) {
    if (!wrote_) side_write_ = std::move(purpose);
  }

  // Values that stay true while the database is unchanged (version stamps),
  // kept with the pooled handle from one call to the next. FindKept gives
  // one only when nothing was committed since it was kept, by anyone, and
  // this transaction has written nothing. Before the transaction has begun
  // the check is against the newest commit (a read of its own), and a value
  // found holds for the caller's answers from the cache only: a call that
  // goes on to read the database calls BeginSnapshot() and asks again, so
  // that what it reads and the values it uses belong to one snapshot. Keep
  // does nothing once the transaction has written (what it reads then may
  // yet be rolled back), nor before it has begun unless FindKept asked the
  // version first (a value read alone after that is at least that new).
  const std::string* FindKept(std::string_view key);
  void Keep(std::string_view key, std::string value);

  // Begins the transaction (its snapshot) now, if it has not begun.
  void BeginSnapshot() { EnsureBegun(); }
  bool begun() const { return begun_; }
  std::string_view backend_name() const;
  // What the handle's server reported at connect (NativeConnection).
  std::string server_version() const { return lease_->ServerVersion(); }
  Database& database() const { return *database_; }

  // Savepoints for steps that may fail and be skipped. Returns a token for
  // Release/RollbackTo.
  int BeginSavepoint();
  void ReleaseSavepoint(int token);
  void RollbackToSavepoint(int token);

  // Ends the transaction; used by the scope.
  void Commit();
  void Rollback() noexcept;

 private:
  void EnsureBegun();
  void EndWriterTurn() noexcept;
  // The content version of the current snapshot (before the transaction
  // has begun: of the newest commit), asked once per snapshot.
  std::optional<uint64_t> ContentVersion();

  std::shared_ptr<Database> database_;
  Database::Lease lease_;
  bool write_intent_;
  bool begun_ = false;
  bool write_locked_ = false;
  bool holds_writer_turn_ = false;  // this process's turn to write (Database::BeginWrite)
  bool wrote_ = false;
  std::string side_write_;  // see NoteSideWrite
  bool version_asked_ = false;  // for the current snapshot, or before it
  std::optional<uint64_t> snapshot_version_;
  int next_savepoint_ = 1;
  int open_savepoints_ = 0;
};

class CallScope {
 public:
  // Joins the scope already active on this thread, or starts a new one.
  explicit CallScope(Runtime& runtime, bool writes = false);
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
  // Ends the call if Finish() was not called; commit failures are dropped
  // here, so prefer Finish() on the normal path.
  ~CallScope();

  // The scope active on this thread, or nullptr.
  static CallScope* Current();

  // The outermost scope ends its transactions by the vote; a joined scope
  // does nothing. Raises a commit failure.
  void Finish();

  bool outermost() const { return outer_ == nullptr; }
  ObjectContext& context();
  Runtime& runtime() const { return runtime_; }

  // The call's transaction on a database, begun on first use.
  Transaction& TransactionFor(std::string_view connect_string);

 private:
  struct State;

  Runtime& runtime_;
  CallScope* outer_;  // the scope this one joined, or nullptr
  std::unique_ptr<State> state_;  // only in the outermost scope
  bool finished_ = false;
};

// The object context of the call running on this thread. REQUIRES: a
// CallScope is active on this thread.
ObjectContext& GetObjectContext();

// Runs `step` under a savepoint of `transaction`: when it throws, or its
// savepoint cannot be taken or released, what it wrote is rolled back and
// the error goes to `on_failure` (when given), not further. True when the
// step succeeded. The write lock is taken first, outside the step: when it
// does not come, the error goes further. The "skip the failing step and
// continue" and "swallow" styles use this.
bool RunSkippingFailure(Transaction& transaction, const std::function<void()>& step,
                        const std::function<void(const std::exception&)>& on_failure = {});

// Runs the body of a public method in a call scope: joins an outer call, or
// ends its own by the vote once the body returns or throws. A body that
// throws with no vote cast counts as an abort vote: a failed call keeps
// nothing (a read keeps no stamp row it inserted before it failed).
template <typename Body>
auto RunInCallScope(Runtime& runtime, bool writes, Body&& body) -> decltype(body()) {
  CallScope scope(runtime, writes);
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      scope.Finish();
    } else {
      auto result = body();
      scope.Finish();
      return result;
    }
  } catch (...) {
    if (scope.context().vote() == Vote::kNone) scope.context().SetAbort();
    throw;
  }
}

}  // namespace lxm

#endif  // LXM_PLATFORM_CALL_SCOPE_H_

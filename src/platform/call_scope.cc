#include "platform/call_scope.h"

#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/com_error.h"
#include "platform/db/stored_text.h"
#include "platform/runtime.h"

namespace lxm {

namespace {

thread_local CallScope* current_scope = nullptr;

std::string SavepointName(int token) { return "lxm_step_" + std::to_string(token); }

}  // namespace

// ---- Transaction ----

Transaction::Transaction(std::shared_ptr<Database> database, bool write_intent)
    : database_(std::move(database)), lease_(database_->Acquire()), write_intent_(write_intent) {}

Transaction::~Transaction() { Rollback(); }

std::string_view Transaction::backend_name() const { return lease_->backend_name(); }

void Transaction::EnsureBegun() {
  if (begun_) return;
  version_asked_ = false;  // the snapshot may be newer than a check before it
  if (write_intent_) {
    database_->BeginWrite(*lease_);
    holds_writer_turn_ = true;
  } else {
    lease_->Begin(false);
  }
  begun_ = true;
  write_locked_ = write_intent_;
}

void Transaction::RequireWrite() {
  if (!begun_) {
    version_asked_ = false;
    database_->BeginWrite(*lease_);
    holds_writer_turn_ = true;
    begun_ = true;
    write_locked_ = true;
    return;
  }
  if (write_locked_) return;
  // A reader that has not written yet: end its read and start again holding
  // the write lock. Upgrading in place could fail at once when another writer
  // committed since our read began.
  lease_->Commit();
  begun_ = false;
  version_asked_ = false;  // a new snapshot follows
  database_->BeginWrite(*lease_);
  holds_writer_turn_ = true;
  begun_ = true;
  write_locked_ = true;
}

std::optional<uint64_t> Transaction::ContentVersion() {
  if (!version_asked_) {
    snapshot_version_ = lease_->ContentVersion();
    version_asked_ = true;
  }
  return snapshot_version_;
}

const std::string* Transaction::FindKept(std::string_view key) {
  if (wrote_) return nullptr;
  std::optional<uint64_t> version = ContentVersion();
  if (!version) return nullptr;
  return lease_->kept().Find(*version, key);
}

void Transaction::Keep(std::string_view key, std::string value) {
  // Before the transaction, only under a version asked before the value was
  // read (by FindKept): the value is at least that new, so an unchanged
  // version later means it is still true.
  if (wrote_ || (!begun_ && !version_asked_)) return;
  std::optional<uint64_t> version = ContentVersion();
  if (version) lease_->kept().Put(*version, key, std::move(value));
}

Recordset Transaction::Query(std::string_view sql, const Params& params) {
  EnsureBegun();
  return lease_->Query(sql, params);
}

Recordset Transaction::QueryAlone(std::string_view sql, const Params& params) {
  if (begun_ || write_intent_) return Query(sql, params);
  return lease_->Query(sql, params);
}

int64_t Transaction::Execute(std::string_view sql, const Params& params) {
  // Refused before the lock is asked for: a refused statement waits for no one.
  CheckStoredTexts(backend_name(), sql, params);
  if (wrote_) side_write_.clear();  // the call writes for itself as well
  RequireWrite();
  int64_t changed = lease_->Execute(sql, params);
  wrote_ = true;
  return changed;
}

void Transaction::ExecuteScript(std::string_view sql) {
  RequireWrite();
  lease_->ExecuteScript(sql);
  wrote_ = true;
}

int Transaction::BeginSavepoint() {
  RequireWrite();
  int token = next_savepoint_++;
  lease_->Savepoint(SavepointName(token));
  ++open_savepoints_;
  return token;
}

void Transaction::ReleaseSavepoint(int token) {
  lease_->ReleaseSavepoint(SavepointName(token));
  --open_savepoints_;
}

void Transaction::RollbackToSavepoint(int token) {
  lease_->RollbackToSavepoint(SavepointName(token));
  lease_->ReleaseSavepoint(SavepointName(token));
  --open_savepoints_;
}

void Transaction::Commit() {
  if (!begun_) return;
  try {
    // A write to a file deleted or swapped since would be lost, or land in
    // another database: rolled back instead.
    if (wrote_) database_->RequireSameFile();
    lease_->Commit();
    begun_ = false;
    version_asked_ = false;
    // Still this writer's turn: no writer of ours adds to the log meanwhile.
    if (holds_writer_turn_ && wrote_) database_->AfterCommit(*lease_);
    EndWriterTurn();
  } catch (const ComError& error) {
    Rollback();
    if (side_write_.empty()) throw;
    throw ComError(error.number(), error.source(), side_write_ + " (" + error.description() + ")");
  } catch (...) {
    Rollback();
    throw;
  }
}

void Transaction::Rollback() noexcept {
  if (!begun_) return;
  begun_ = false;
  version_asked_ = false;
  try {
    lease_->Rollback();
  } catch (...) {
    // A handle whose rollback failed must not serve another call.
    lease_.Discard();
  }
  EndWriterTurn();
}

void Transaction::EndWriterTurn() noexcept {
  if (!holds_writer_turn_) return;
  holds_writer_turn_ = false;
  database_->EndWrite();
}

// ---- CallScope ----

struct CallScope::State {
  ObjectContext context;
  bool writes = false;
  // In order of first use, so that commits happen in a stable order.
  std::vector<std::pair<std::string, std::unique_ptr<Transaction>>> transactions;
};

CallScope::CallScope(Runtime& runtime, bool writes) : runtime_(runtime), outer_(current_scope) {
  if (outer_ == nullptr) {
    state_ = std::make_unique<State>();
    state_->writes = writes;
    current_scope = this;
  } else if (writes) {
    outer_->state_->writes = true;
  }
}

CallScope::~CallScope() {
  if (finished_) return;
  try {
    Finish();
  } catch (...) {
    // Finish() already rolled back what it could not commit.
  }
}

CallScope* CallScope::Current() { return current_scope; }

ObjectContext& CallScope::context() {
  return outer_ == nullptr ? state_->context : outer_->context();
}

Transaction& CallScope::TransactionFor(std::string_view connect_string) {
  if (outer_ != nullptr) return outer_->TransactionFor(connect_string);
  for (auto& [key, transaction] : state_->transactions) {
    if (key == connect_string) return *transaction;
  }
  std::shared_ptr<Database> database = runtime_.databases().Get(connect_string);
  state_->transactions.emplace_back(std::string(connect_string),
                                    std::make_unique<Transaction>(std::move(database), state_->writes));
  return *state_->transactions.back().second;
}

void CallScope::Finish() {
  if (finished_) return;
  finished_ = true;
  if (outer_ != nullptr) return;
  current_scope = nullptr;

  bool commit = state_->context.vote() != Vote::kAbort;
  std::exception_ptr failure;
  for (auto& [key, transaction] : state_->transactions) {
    if (commit && failure == nullptr) {
      try {
        transaction->Commit();
      } catch (...) {
        failure = std::current_exception();
      }
    } else {
      transaction->Rollback();
    }
  }
  state_->transactions.clear();
  if (failure != nullptr) std::rethrow_exception(failure);
}

ObjectContext& GetObjectContext() {
  CallScope* scope = CallScope::Current();
  if (scope == nullptr) {
    throw ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource),
                   "No call context is active on this thread.");
  }
  return scope->context();
}

bool RunSkippingFailure(Transaction& transaction, const std::function<void()>& step,
                        const std::function<void(const std::exception&)>& on_failure) {
  // The write lock first: waiting for it is the call's, not the step's.
  transaction.RequireWrite();
  int token = 0;
  try {
    token = transaction.BeginSavepoint();
    step();
    // A savepoint that cannot be released would keep the step's writes
    // though it is reported failed; it is rolled back like the step.
    transaction.ReleaseSavepoint(token);
  } catch (const std::exception& failure) {
    if (token != 0) transaction.RollbackToSavepoint(token);
    if (on_failure) on_failure(failure);
    return false;
  }
  return true;
}

}  // namespace lxm

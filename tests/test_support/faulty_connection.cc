#include "test_support/faulty_connection.h"

#include <string_view>
#include <utility>

#include "platform/com_error.h"

namespace lxm::test {

class FaultyConnection : public NativeConnection {
 public:
  FaultyConnection(FaultPlan& plan, std::unique_ptr<NativeConnection> inner)
      : plan_(plan), inner_(std::move(inner)) {}

  std::string_view backend_name() const override { return inner_->backend_name(); }

  Recordset Query(std::string_view sql, const Params& params) override {
    Statement(sql, open_.size());
    return inner_->Query(sql, params);
  }
  int64_t Execute(std::string_view sql, const Params& params) override {
    Statement(sql, open_.size());
    return inner_->Execute(sql, params);
  }
  void ExecuteScript(std::string_view sql) override {
    Statement(sql, open_.size());
    inner_->ExecuteScript(sql);
  }
  void Begin(bool for_write) override {
    Statement(for_write ? "BEGIN (write)" : "BEGIN", open_.size());
    inner_->Begin(for_write);
  }
  void Commit() override {
    if (plan_.armed_ && ++plan_.commits_ == plan_.faults_.fail_commit) {
      plan_.fired_ = true;
      // The transaction stays open, as after a commit the engine refused;
      // the caller rolls it back.
      throw DatabaseError(inner_->backend_name(), "Injected commit failure.");
    }
    inner_->Commit();
    open_.clear();
  }
  void Rollback() override {
    open_.clear();
    inner_->Rollback();
  }
  // Taking and releasing a savepoint belong to its step.
  void Savepoint(std::string_view name) override {
    open_.push_back({std::string(name), ++plan_.savepoints_taken_});
    try {
      Statement("SAVEPOINT", open_.size());
      inner_->Savepoint(name);
    } catch (...) {
      open_.pop_back();
      throw;
    }
  }
  void ReleaseSavepoint(std::string_view name) override {
    size_t at = Find(name);
    Statement("RELEASE", at == open_.size() ? at : at + 1);
    if (at < open_.size() && plan_.armed_ && open_[at].second == plan_.faults_.undo_savepoint) {
      inner_->RollbackToSavepoint(name);
    }
    inner_->ReleaseSavepoint(name);
    if (at < open_.size()) open_.resize(at);
  }
  void RollbackToSavepoint(std::string_view name) override { inner_->RollbackToSavepoint(name); }

  void CheckpointIfIdle(int64_t min_bytes) override { inner_->CheckpointIfIdle(min_bytes); }
  bool BoundLog(int64_t max_bytes, int wait_ms) override { return inner_->BoundLog(max_bytes, wait_ms); }
  int64_t LogSize() const override { return inner_->LogSize(); }
  std::optional<uint64_t> ContentVersion() override { return inner_->ContentVersion(); }
  std::string ServerVersion() const override { return inner_->ServerVersion(); }

 private:
  // The position of a savepoint among the open ones; open_.size() when it
  // is not open.
  size_t Find(std::string_view name) const {
    for (size_t i = open_.size(); i-- > 0;) {
      if (open_[i].first == name) return i;
    }
    return open_.size();
  }

  // Counts a statement that runs under the `depth` outermost open
  // savepoints, and fails it when it is the chosen one: the engine runs a
  // statement that cannot succeed, so that its own error handling (an
  // aborted transaction on PostgreSQL) follows.
  void Statement(std::string_view text, size_t depth) {
    if (!plan_.armed_) return;
    plan_.trace_.push_back({std::string(text), depth == 0 ? 0 : open_[depth - 1].second, static_cast<int>(depth),
                            depth < 2 ? 0 : open_[depth - 2].second});
    if (plan_.statements() != plan_.faults_.fail_statement) return;
    plan_.fired_ = true;
    inner_->Query("SELECT injected FROM lxm_injected_fault", {});
    throw DatabaseError(inner_->backend_name(), "The injected statement succeeded.");
  }

  FaultPlan& plan_;
  std::unique_ptr<NativeConnection> inner_;
  // Savepoints open on this handle, innermost last: name and number.
  std::vector<std::pair<std::string, int>> open_;
};

void FaultPlan::Arm(const Faults& faults) {
  faults_ = faults;
  trace_.clear();
  commits_ = 0;
  savepoints_taken_ = 0;
  fired_ = false;
  armed_ = true;
}

std::function<std::unique_ptr<NativeConnection>(std::unique_ptr<NativeConnection>)> FaultPlan::Wrapper() {
  return [this](std::unique_ptr<NativeConnection> inner) -> std::unique_ptr<NativeConnection> {
    return std::make_unique<FaultyConnection>(*this, std::move(inner));
  };
}

}  // namespace lxm::test

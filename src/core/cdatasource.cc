#include "core/cdatasource.h"

#include "platform/com_error.h"

namespace lxm {

const std::string& CDataSource::ConnectString() const {
  static const std::string kNone;
  return parse_ == nullptr ? kNone : parse_->ConStr();
}

DbConnection CDataSource::Open(IsolationLevel isolation) {
  CallScope* scope = CallScope::Current();
  if (scope == nullptr) {
    throw ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource),
                   "A connection can only be opened inside a call.");
  }
  return DbConnection(scope->TransactionFor(ConnectString()), isolation);
}

DbConnection CDataSource::Connection() {
  return Open(dirty_read_ ? IsolationLevel::kReadUncommitted : IsolationLevel::kReadCommitted);
}

DbConnection CDataSource::UncommitedConnection() { return Open(IsolationLevel::kReadUncommitted); }

}  // namespace lxm

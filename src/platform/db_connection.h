// DbConnection: the connection a public method works with, what an ADO
// Connection was. It is a handle on the call's transaction for one database
// (call_scope.h): cheap to copy, valid while the call scope lives.
#ifndef LXM_PLATFORM_DB_CONNECTION_H_
#define LXM_PLATFORM_DB_CONNECTION_H_

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/call_scope.h"

namespace lxm {

enum class IsolationLevel { kReadCommitted, kReadUncommitted };

class DbConnection {
 public:
  DbConnection(Transaction& transaction, IsolationLevel isolation)
      : transaction_(&transaction), isolation_(isolation) {}

  // A statement that returns rows.
  Recordset Query(std::string_view sql, const Params& params = {}) const {
    return transaction_->Query(sql, params);
  }
  // A statement whose computed columns have the types it names (see
  // ColumnType), so its recordset has the same field types with or without
  // rows.
  Recordset Query(std::string_view sql, const Params& params, std::span<const ColumnType> types) const {
    return transaction_->Query(sql, params).WithFieldTypes(types);
  }
  // A statement that changes rows; the number changed.
  int64_t Execute(std::string_view sql, const Params& params = {}) const {
    return transaction_->Execute(sql, params);
  }

  // The isolation level the connection was opened with. Both levels see the
  // call's own writes, since every handle of a call shares its transaction.
  IsolationLevel isolation() const { return isolation_; }
  Transaction& transaction() const { return *transaction_; }

 private:
  Transaction* transaction_;
  IsolationLevel isolation_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_CONNECTION_H_

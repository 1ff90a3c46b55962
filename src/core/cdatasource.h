// CDataSource: the data source of one request; hands out the connections on
// which all SQL of the call runs.
//
// Connections are handles on the call's transaction (platform/call_scope.h):
// opening one requires an active CallScope. The connect string comes from the
// descriptor's "ConnectString"; a missing database file is an error, never a
// new empty database.
#ifndef LXM_CORE_CDATASOURCE_H_
#define LXM_CORE_CDATASOURCE_H_

#include <memory>
#include <string>

#include "core/cparse.h"
#include "platform/db_connection.h"
#include "platform/runtime.h"

namespace lxm {

class CDataSource {
 public:
  explicit CDataSource(Runtime& runtime) : runtime_(&runtime) {}

  const std::shared_ptr<CParse>& ParseObject() const { return parse_; }
  void SetParseObject(std::shared_ptr<CParse> parse) { parse_ = std::move(parse); }

  void SetDirtyRead(bool NewVal) { dirty_read_ = NewVal; }
  bool dirty_read() const { return dirty_read_; }

  std::string ConnectString() const;

  // A connection at READ COMMITTED, or READ UNCOMMITTED after
  // SetDirtyRead(true). REQUIRES: a CallScope on this thread. Raises the
  // provider or open error of the connect string.
  DbConnection Connection();
  // Always READ UNCOMMITTED.
  DbConnection UncommitedConnection();

  Runtime& runtime() const { return *runtime_; }

 private:
  DbConnection Open(IsolationLevel isolation);

  Runtime* runtime_;
  std::shared_ptr<CParse> parse_;
  bool dirty_read_ = false;
};

}  // namespace lxm

#endif  // LXM_CORE_CDATASOURCE_H_

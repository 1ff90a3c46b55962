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
#include <string_view>

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

  const std::string& ConnectString() const;

  // A connection at READ COMMITTED, or READ UNCOMMITTED after
  // SetDirtyRead(true). REQUIRES: a CallScope on this thread. Raises the
  // provider or open error of the connect string.
  DbConnection Connection();
  // Always READ UNCOMMITTED.
  DbConnection UncommitedConnection();

  Runtime& runtime() const { return *runtime_; }

  // ---- What the database product can do (cdatasource_capabilities.cc) ----
  //
  // Read once per product, version (the descriptor's "DBMS Name" and "DBMS
  // Version") and database, then kept for the process in a shared property
  // group, so later calls do not touch the database. A property the product
  // does not report is Empty; when the capabilities cannot be read at all,
  // every member answers Empty (False for the Boolean ones) and the next
  // call tries again. Each opens its own call when none is active.
  Variant DBMSName();
  Variant DBMSVersion();
  Variant MultipleResults();
  // True when the product takes LIKE ... ESCAPE.
  Variant LikeEscapeClause();
  Variant IEF();
  Variant NumericFunctions();
  Variant StringFunctions();
  Variant SystemFunctions();
  Variant DateTimeFunctions();
  // Whether the account lists `ProcName` in t_SupportedProc.
  bool ProcSupported(const std::string& ProcName);
  bool IsOracle();

 private:
  DbConnection Open(IsolationLevel isolation);
  // The capability group's value of `name`, or Empty.
  Variant Capability(std::string_view name);

  Runtime* runtime_;
  std::shared_ptr<CParse> parse_;
  bool dirty_read_ = false;
};

}  // namespace lxm

#endif  // LXM_CORE_CDATASOURCE_H_

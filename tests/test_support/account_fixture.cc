#include "test_support/account_fixture.h"

#include <sstream>


namespace lxm::test {

void AccountTest::SetUp() {
  AccountSetupOptions options;
  options.demo = demo_;
  account_.emplace(runtime_, options);
  path_ = account_->path();
  connect_string_ = account_->connect_string();
}

int64_t AccountTest::Exec(const std::string& sql, const Params& params) {
  return RunInCallScope(runtime_, true, [&] {
    return CallScope::Current()->TransactionFor(connect_string_).Execute(sql, params);
  });
}

Recordset AccountTest::Query(const std::string& sql, const Params& params) {
  return RunInCallScope(runtime_, false, [&] {
    return CallScope::Current()->TransactionFor(connect_string_).Query(sql, params);
  });
}

Variant AccountTest::Scalar(const std::string& sql, const Params& params) {
  Recordset rs = Query(sql, params);
  if (rs.Eof() || rs.Fields().empty()) return Variant();
  return rs.Value(size_t{0});
}

void AccountTest::AddFault(const std::string& name, const std::string& when, const std::string& message) {
  // Fixed texts of the tests, never a caller's.
  if (!OnPostgres()) {
    Exec("CREATE TRIGGER " + name + " " + when + " BEGIN SELECT RAISE(ABORT, '" + message + "'); END");
    return;
  }
  const size_t condition_at = when.find(" WHEN ");
  const std::string event = when.substr(0, condition_at);
  const std::string condition = condition_at == std::string::npos ? "TRUE" : when.substr(condition_at + 6);
  std::istringstream words(event);
  std::string word, table;
  while (words >> word) {
    if (word == "ON") words >> table;
  }
  // A BEFORE trigger that returns NULL skips the row: return the row itself.
  const std::string row = event.find("DELETE") != std::string::npos ? "OLD" : "NEW";
  Exec("CREATE FUNCTION " + name + "_raise() RETURNS trigger LANGUAGE plpgsql AS $f$ BEGIN IF " + condition +
       " THEN RAISE EXCEPTION '" + message + "'; END IF; RETURN " + row + "; END $f$");
  Exec("CREATE TRIGGER " + name + " " + event + " FOR EACH ROW EXECUTE FUNCTION " + name + "_raise()");
  fault_tables_[name] = table;
}

void AccountTest::DropFault(const std::string& name) {
  if (!OnPostgres()) {
    Exec("DROP TRIGGER " + name);
    return;
  }
  Exec("DROP TRIGGER " + name + " ON " + fault_tables_.at(name));
  Exec("DROP FUNCTION " + name + "_raise()");
  fault_tables_.erase(name);
}

int64_t AccountTest::VersionNumber(const Variant& stamp) {
  if (const Bytes* bytes = stamp.TryGet<Bytes>()) {
    int64_t number = 0;
    for (uint8_t byte : *bytes) number = (number << 8) | byte;  // big-endian, as stored
    return number;
  }
  if (stamp.kind() == VariantKind::kLong) return stamp.AsLong();
  return static_cast<int64_t>(stamp.AsDouble());
}

int64_t AccountTest::StampVersion(const std::string& name) {
  Recordset rs = Query("SELECT FTimeStamp FROM t_DataFlowTimeStamp WHERE FName = ?", {Variant(name)});
  if (rs.Eof()) return -1;
  return VersionNumber(rs.Value("FTimeStamp"));
}

}  // namespace lxm::test

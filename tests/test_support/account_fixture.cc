#include "test_support/account_fixture.h"

#include <atomic>
#include <chrono>
#include <unistd.h>

namespace lxm::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("lxm_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void AccountTest::SetUp() {
  path_ = (dir_.path() / "account.db").string();
  AccountSetupOptions options;
  options.demo = demo_;
  connect_string_ = CreateAccountDatabase(runtime_, path_, options);
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

int64_t AccountTest::StampVersion(const std::string& name) {
  Recordset rs = Query("SELECT CAST(FTimeStamp AS INTEGER) AS v FROM t_DataFlowTimeStamp WHERE FName = ?",
                       {Variant(name)});
  if (rs.Eof()) return -1;
  const Variant& v = rs.Value("v");
  if (v.kind() == VariantKind::kLong) return v.AsLong();
  return static_cast<int64_t>(v.AsDouble());
}

}  // namespace lxm::test

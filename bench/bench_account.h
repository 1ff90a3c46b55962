// A throwaway account database for a benchmark: a folder of its own under
// the system's temporary folder, the schema and the rows `setup` asks for
// (demo, synthetic), whatever rows `fill` writes in one transaction, and a
// runtime of its own. Removed with the object.
//
//   bench::BenchAccount& TheAccount() {
//     static bench::BenchAccount account("listing_bench", bench::Synthetic("5,10,20,20"));
//     return account;
//   }
#ifndef LXM_BENCH_BENCH_ACCOUNT_H_
#define LXM_BENCH_BENCH_ACCOUNT_H_

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/call_scope.h"
#include "platform/runtime.h"
#include "tree/account_setup.h"
#include "tree/synthetic_data.h"

namespace lxm::bench {

inline AccountSetupOptions Demo() {
  AccountSetupOptions options;
  options.demo = true;
  return options;
}

inline AccountSetupOptions Synthetic(const std::string& shape) {
  AccountSetupOptions options;
  options.synthetic = ParseSyntheticShape(shape);
  return options;
}

struct BenchAccount {
  using Fill = std::function<void(Transaction&)>;

  explicit BenchAccount(const std::string& name, const AccountSetupOptions& setup = {}, const Fill& fill = {},
                        const RuntimeOptions& options = {})
      : runtime(options) {
    dir = std::filesystem::temp_directory_path() / ("lxm_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    path = (dir / "account.db").string();
    connect_string = CreateAccountDatabase(runtime, path, setup);
    if (fill) RunInCallScope(runtime, true, [&] { fill(CallScope::Current()->TransactionFor(connect_string)); });
  }
  ~BenchAccount() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  BenchAccount(const BenchAccount&) = delete;
  BenchAccount& operator=(const BenchAccount&) = delete;

  std::string Descriptor(int32_t user_id, const std::string& language = "chs") const {
    return MakeDescriptor(path, user_id, language);
  }

  std::filesystem::path dir;
  std::string path;
  std::string connect_string;
  Runtime runtime;
};

}  // namespace lxm::bench

#endif  // LXM_BENCH_BENCH_ACCOUNT_H_

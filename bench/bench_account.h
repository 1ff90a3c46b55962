// A throwaway account database for a benchmark: a folder of its own under
// the system's temporary folder, the schema, whatever rows `fill` writes in
// one transaction, and a runtime of its own. Removed with the object.
#ifndef LXM_BENCH_BENCH_ACCOUNT_H_
#define LXM_BENCH_BENCH_ACCOUNT_H_

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/call_scope.h"
#include "platform/runtime.h"
#include "tree/account_setup.h"

namespace lxm::bench {

struct BenchAccount {
  BenchAccount(const std::string& name, const std::function<void(Transaction&)>& fill,
               const RuntimeOptions& options = {})
      : runtime(options) {
    dir = std::filesystem::temp_directory_path() / ("lxm_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    path = (dir / "account.db").string();
    connect_string = CreateAccountDatabase(runtime, path, AccountSetupOptions{});
    RunInCallScope(runtime, true, [&] { fill(CallScope::Current()->TransactionFor(connect_string)); });
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

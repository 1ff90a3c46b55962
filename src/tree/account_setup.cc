#include "tree/account_setup.h"

#include <filesystem>

#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "tree/demo_data.h"
#include "tree/schema.h"

namespace lxm {

std::string CreateAccountDatabase(Runtime& runtime, const std::string& path,
                                  const AccountSetupOptions& options) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    if (!options.replace) {
      throw ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource),
                     "The database file '" + path + "' exists already.");
    }
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix, ec);
  }
  std::string connect_string = SQLiteConnectString(path);
  runtime.databases().Remove(connect_string);
  Database::Open(ParseConnectString(connect_string), /*create=*/true);

  RunInCallScope(runtime, true, [&] {
    // A load that fails part-way leaves no half-filled database behind.
    GetObjectContext().SetAbort();
    Transaction& transaction = CallScope::Current()->TransactionFor(connect_string);
    schema::CreateSchema(transaction);
    if (options.demo) demo::LoadDemo(transaction);
    if (options.synthetic) LoadSynthetic(transaction, *options.synthetic);
    GetObjectContext().SetComplete();
  });
  return connect_string;
}

std::string MakeDescriptor(const std::string& path, int32_t user_id, const std::string& language) {
  return "ConnectString={" + SQLiteConnectString(path) + "};UserID=" + std::to_string(user_id) +
         ";LANGUAGE=" + language;
}

}  // namespace lxm

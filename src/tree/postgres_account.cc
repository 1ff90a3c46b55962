#include "tree/postgres_account.h"

#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "tree/demo_data.h"
#include "tree/schema.h"

namespace lxm {

namespace {

ComError SetupError(const std::string& description) {
  return ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource), description);
}

// Drops what the PostgreSQL schema script creates, where it exists.
std::string DropScript() {
  std::string script;
  for (const std::string& table : schema::TableNames(Backend::kPostgreSQL)) {
    script += "DROP TABLE IF EXISTS " + table + ";\n";
  }
  script +=
      "DROP FUNCTION IF EXISTS fn_DataFlowTimeStamp() CASCADE;\n"
      "DROP FUNCTION IF EXISTS fn_NormalFuncGroupID() CASCADE;\n"
      "DROP FUNCTION IF EXISTS fn_NextRowID() CASCADE;\n"
      "DROP SEQUENCE IF EXISTS sq_DataFlowRowVersion;\n"
      "DROP SEQUENCE IF EXISTS sq_NormalFuncGroup;\n"
      "DROP DOMAIN IF EXISTS rowversion;\n";
  return script;
}

}  // namespace

void CreatePostgresAccount(Runtime& runtime, const std::string& connect_string,
                           const AccountSetupOptions& options) {
  ConnectString parsed = ParseConnectString(connect_string);
  if (parsed.backend != Backend::kPostgreSQL) throw SetupError("Not a PostgreSQL connect string.");
  std::string name = parsed.Get("Database");
  runtime.databases().Remove(connect_string);
  RunInCallScope(runtime, true, [&] {
    GetObjectContext().SetAbort();
    Transaction& transaction = CallScope::Current()->TransactionFor(connect_string);
    Recordset existing = transaction.Query(
        "SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = current_schema() "
        "AND table_name = 't_dataflowtopclass'");
    if (existing.Value(size_t{0}).AsLong() > 0) {
      if (!options.replace) {
        throw SetupError("The PostgreSQL database '" + name + "' holds an account already.");
      }
      transaction.ExecuteScript(DropScript());
    }
    schema::CreateSchema(transaction);
    if (options.demo) demo::LoadDemo(transaction);
    if (options.synthetic) LoadSynthetic(transaction, *options.synthetic);
    GetObjectContext().SetComplete();
  });
  // Handles that cached statements of dropped tables must not be reused.
  runtime.databases().Remove(connect_string);
}

void CheckPostgresAccount(Runtime& runtime, const std::string& connect_string) {
  std::string name = ParseConnectString(connect_string).Get("Database");
  int32_t version = 0;
  try {
    Database::Lease connection = runtime.databases().Get(connect_string)->Acquire();
    Recordset stored = connection->Query("SELECT FVersion FROM t_DataFlowSchemaVersion", {});
    if (!stored.Eof()) version = stored.Value(size_t{0}).AsLong();
  } catch (const ComError& error) {
    throw SetupError("The PostgreSQL database '" + name + "' is not an account database: " +
                     error.description());
  }
  if (version != schema::kSchemaVersion) {
    throw SetupError("The account database '" + name + "' has schema version " +
                     std::to_string(version) + "; this build serves version " +
                     std::to_string(schema::kSchemaVersion) + ".");
  }
}

}  // namespace lxm

#include "tree/stamps.h"

#include <optional>

#include "core/globals.h"
#include "platform/com_error.h"
#include "platform/convert.h"

namespace lxm {

namespace {

constexpr std::string_view kSelectAliased =
    "Select FTimeStamp as lngTimeStamp From t_DataFlowTimeStamp Where FName = ?";
constexpr std::string_view kSelectPlain =
    "Select FTimeStamp  From t_DataFlowTimeStamp Where FName = ?";
// Inserts only while the row is missing, so two first reads leave one row.
constexpr std::string_view kInsertMissing =
    "Insert Into t_DataFlowTimeStamp(FName) Select ? Where Not Exists "
    "(Select 1 From t_DataFlowTimeStamp Where FName = ?)";

// Both rows in one statement, told apart by the first column.
constexpr std::string_view kSelectPair =
    "Select 0 As FWhich, FTimeStamp From t_DataFlowTimeStamp Where FName = ? "
    "Union All Select 1, FTimeStamp From t_DataFlowTimeStamp Where FName = ?";

std::string FirstFieldAsStamp(const Recordset& stamp) {
  if (stamp.Eof() || stamp.Fields().empty()) return std::string(kZeroStamp);
  return StampToText(stamp.Value(size_t{0}));
}

// The stamp named `name`: kept, or read (and created) and kept.
std::string StampText(const DbConnection& connection, std::string_view name, bool alias_first_read) {
  Transaction& transaction = connection.transaction();
  if (const std::string* kept = transaction.FindKept(name)) return *kept;
  std::string stamp = FirstFieldAsStamp(ReadStampRecordset(connection, name, alias_first_read));
  transaction.Keep(name, stamp);
  return stamp;
}

}  // namespace

std::string UserStampName(int32_t user_id) {
  return std::string(kTemplateStampName) + std::to_string(user_id);
}

Recordset ReadStampRecordset(const DbConnection& connection, std::string_view stamp_name,
                             bool alias_first_read) {
  Params name{Variant(stamp_name)};
  // Before the snapshot, on its own: a caller that goes on to read levels
  // reads the stamp again inside it.
  Recordset stamp = connection.transaction().QueryAlone(alias_first_read ? kSelectAliased : kSelectPlain, name);
  if (!stamp.Eof()) return stamp;
  // Only this read needs to write: a failure says so, as its cause (a full
  // disk, a read-only file) leaves reads with stamps of their own working.
  std::string purpose = "The version stamp \"" + std::string(stamp_name) +
                        "\" does not exist yet and could not be made, so this read cannot be answered; reads "
                        "of users whose stamps exist go on";
  connection.transaction().NoteSideWrite(purpose);
  try {
    connection.Execute(kInsertMissing, {Variant(stamp_name), Variant(stamp_name)});
  } catch (const ComError& error) {
    if (error.number() != errors::kDatabase) throw;
    throw ComError(error.number(), error.source(), purpose + " (" + error.description() + ")");
  }
  return connection.Query(kSelectAliased, name);
}

std::string ReadTemplateStamp(const DbConnection& connection) {
  return StampText(connection, kTemplateStampName, true);
}

std::string ReadUserStamp(const DbConnection& connection, int32_t user_id) {
  return StampText(connection, UserStampName(user_id), false);
}

StampPair ReadStampPair(const DbConnection& connection, int32_t user_id) {
  Transaction& transaction = connection.transaction();
  std::string user_name = UserStampName(user_id);
  const std::string* kept_template = transaction.FindKept(kTemplateStampName);
  const std::string* kept_user = transaction.FindKept(user_name);
  if (kept_template != nullptr && kept_user != nullptr) return {*kept_template, *kept_user};

  std::optional<std::string> found[2];
  Recordset rows = transaction.QueryAlone(kSelectPair, {Variant(kTemplateStampName), Variant(user_name)});
  for (; !rows.Eof(); rows.MoveNext()) {
    size_t which = CLng(rows.Value(size_t{0})) == 0 ? 0 : 1;
    found[which] = StampToText(rows.Value(size_t{1}));
  }
  StampPair pair;
  pair.template_stamp = found[0] ? *found[0] : StampText(connection, kTemplateStampName, true);
  pair.user_stamp = found[1] ? *found[1] : StampText(connection, user_name, true);
  transaction.Keep(kTemplateStampName, pair.template_stamp);
  transaction.Keep(user_name, pair.user_stamp);
  return pair;
}

}  // namespace lxm

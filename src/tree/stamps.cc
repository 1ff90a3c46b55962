#include "tree/stamps.h"

#include "core/globals.h"

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

std::string FirstFieldAsStamp(const Recordset& stamp) {
  if (stamp.Eof() || stamp.Fields().empty()) return std::string(kZeroStamp);
  return StampToText(stamp.Value(size_t{0}));
}

}  // namespace

std::string UserStampName(int32_t user_id) {
  return std::string(kTemplateStampName) + std::to_string(user_id);
}

Recordset ReadStampRecordset(const DbConnection& connection, std::string_view stamp_name,
                             bool alias_first_read) {
  Params name{Variant(stamp_name)};
  Recordset stamp = connection.Query(alias_first_read ? kSelectAliased : kSelectPlain, name);
  if (!stamp.Eof()) return stamp;
  connection.Execute(kInsertMissing, {Variant(stamp_name), Variant(stamp_name)});
  return connection.Query(kSelectAliased, name);
}

std::string ReadTemplateStamp(const DbConnection& connection) {
  return FirstFieldAsStamp(ReadStampRecordset(connection, kTemplateStampName, true));
}

std::string ReadUserStamp(const DbConnection& connection, int32_t user_id) {
  return FirstFieldAsStamp(ReadStampRecordset(connection, UserStampName(user_id), false));
}

}  // namespace lxm

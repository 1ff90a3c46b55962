// DatasUpdate::SetProfileValue: one named setting of the calling user.
#include "update/datas_update.h"
#include "update/write_frame.h"

namespace lxm {

namespace {

constexpr std::string_view kUpdate =
    "UPDATE t_UserDataFlowProfile SET FValue = ? WHERE FName = ? AND FUserID = ?";
constexpr std::string_view kInsert = "INSERT INTO t_UserDataFlowProfile (FName, FValue, FUserID) VALUES (?, ?, ?)";

}  // namespace

void DatasUpdate::SetProfileValue(std::string_view sDsn, const std::string& strName, const std::string& strValue) {
  // An empty value is stored as one blank.
  Variant value(strValue.empty() ? std::string(" ") : strValue);
  RunStandardWrite(*runtime_, context_, sDsn, [&](WriteRequest& request) {
    Variant user(request.parse.UserID());
    // The call holds the write lock from its first statement, so two calls
    // never both find the name missing.
    if (request.connection.Execute(kUpdate, {value, Variant(strName), user}) == 0) {
      request.connection.Execute(kInsert, {Variant(strName), value, user});
    }
    BumpStamp(request.connection, request.parse, /*template_stamp=*/false);
  });
}

}  // namespace lxm

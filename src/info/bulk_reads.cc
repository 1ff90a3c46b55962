// DatasInfo's bulk reads: several cached levels at once, all of a user's
// favourite items, and the export of a user's layout that ImportUserData
// takes back.
#include <string>

#include "core/globals.h"
#include "info/datas_info.h"
#include "info/node_query_support.h"
#include "platform/call_scope.h"
#include "platform/convert.h"

namespace lxm {

namespace {

constexpr std::string_view kUserItems = "SELECT * FROM t_NormalFunc WHERE FUserID = ?";

struct ExportedLevel {
  std::string_view key;
  std::string_view statement;  // two parameters: the user ID, twice
};

// Per node the caller's own row, else the shared default row. No order: the
// import does not depend on one.
constexpr ExportedLevel kExportedLevels[] = {
    {"TopClass",
     "SELECT * FROM t_UserTopClass WHERE FUserID = ? OR (FUserID = 0 AND FTopClassID NOT IN "
     "(SELECT FTopClassID FROM t_UserTopClass WHERE FUserID = ?))"},
    {"SubSystem",
     "SELECT * FROM t_UserSubSystem WHERE FUserID = ? OR (FUserID = 0 AND FSubSysID NOT IN "
     "(SELECT FSubSysID FROM t_UserSubSystem WHERE FUserID = ?))"},
    {"SubFunc",
     "SELECT * FROM t_UserSubFunc WHERE FUserID = ? OR (FUserID = 0 AND FSubFuncID NOT IN "
     "(SELECT FSubFuncID FROM t_UserSubFunc WHERE FUserID = ?))"},
    {"DetailFunc",
     "SELECT * FROM t_UserDetailFunc WHERE FUserID = ? OR (FUserID = 0 AND FDetailFuncID NOT IN "
     "(SELECT FDetailFuncID FROM t_UserDetailFunc WHERE FUserID = ?))"},
};

// Empty and the empty text name no level; anything else is read as text,
// so Null or an object element fails the call.
bool NamesNoLevel(const Variant& element) {
  return element.IsEmpty() || (element.kind() == VariantKind::kString && element.AsString().empty());
}

}  // namespace

std::shared_ptr<Dictionary> DatasInfo::GetRecordset(std::string_view sDsn, Variant& vNames, bool blnTemplate) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    return AnswerOrFallback(std::shared_ptr<Dictionary>(), [&] {
      std::shared_ptr<Dictionary> stamps = PrepareContext(sDsn);
      const std::shared_ptr<Vector>& names = vNames.AsVector();
      if (names == nullptr) throw RuntimeError(errors::kTypeMismatch);
      const CParse& parse = *context_.parse;
      auto levels = Dictionary::Create();
      for (const Variant& element : names->items()) {
        if (NamesNoLevel(element)) continue;
        std::string name = CStr(element);
        std::optional<Recordset> level = GetCachedLevel(*runtime_, name, *stamps, parse.LanguageID(),
                                                        CacheIdentityOf(parse), blnTemplate, &prepared_);
        levels->Set(name, level ? Variant(*level) : Variant(std::shared_ptr<Recordset>()));
      }
      return levels;
    });
  });
}

Recordset DatasInfo::GetUserNormalLst(std::string_view sDsn) {
  return ReadFavourites(sDsn, [](DbConnection& connection, int32_t user_id) {
    return connection.Query(kUserItems, {Variant(user_id)});
  });
}

std::shared_ptr<Dictionary> DatasInfo::ExportUserData(std::string_view sDsn) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    std::shared_ptr<Dictionary> container = PrepareContext(sDsn);
    DbConnection connection = context_.data_source->Connection();
    Variant user(CurrentUserID(*context_.data_source));
    for (const ExportedLevel& level : kExportedLevels) {
      container->Set(level.key, connection.Query(level.statement, {user, user}));
    }
    return container;
  });
}

}  // namespace lxm

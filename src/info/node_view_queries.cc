// DatasInfo: single-node questions answered from the cached levels, without
// a query of their own: profile values, refresh and enable flags, subsystem
// rows and account-type display names.
//
// The refresh and enable flags are template columns (the overlay levels do
// not carry them), so those answers come from the node's template row.
#include <optional>
#include <string>

#include "core/globals.h"
#include "info/datas_info.h"
#include "info/node_query_support.h"
#include "platform/call_scope.h"
#include "platform/convert.h"

namespace lxm {

namespace {

// The cached levels of one call, for the stamps its PrepareContext returned.
struct CallLevels {
  Runtime& runtime;
  const CParse& parse;
  const PreparedLevels& prepared;
  std::shared_ptr<Dictionary> stamps;

  std::optional<Recordset> Get(std::string_view level_name, bool template_level) const {
    return GetCachedLevel(runtime, level_name, *stamps, parse.LanguageID(), CacheIdentityOf(parse),
                          template_level, &prepared);
  }
};

// The rows of a level whose field equals `value` (text without regard to
// case), or nothing when there are none or the level is missing.
std::optional<Recordset> RowsWhere(const std::optional<Recordset>& level, std::string_view field,
                                   const Variant& value) {
  if (!level || level->Fields().empty()) return std::nullopt;
  Recordset rows = level->Filter(field, value);
  if (rows.Eof()) return std::nullopt;
  return rows;
}

// A flag of the current row; Null reads as False.
bool FlagOf(const Recordset& row, std::string_view field) {
  const Variant& value = row.Value(field);
  return value.IsNull() ? false : CBool(value);
}

std::string TextOf(const Recordset& row, std::string_view field) {
  const Variant& value = row.Value(field);
  return value.IsNull() ? std::string() : CStr(value);
}

}  // namespace

std::string DatasInfo::GetProfileValue(std::string_view sDsn, std::string_view strName,
                                       std::shared_ptr<Dictionary>& oDict) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    return AnswerOrFallback(std::string(), [&] {
      oDict = PrepareContext(sDsn);
      CallLevels levels{*runtime_, *context_.parse, prepared_, oDict};
      std::optional<Recordset> row = RowsWhere(levels.Get("Profile", false), "FName", Variant(strName));
      return row ? TextOf(*row, "FValue") : std::string();
    });
  });
}

bool DatasInfo::IsRefreshNode(std::string_view sDsn, int32_t& lID, int32_t& lType) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    std::shared_ptr<Dictionary> stamps = PrepareContext(sDsn);
    CallLevels levels{*runtime_, *context_.parse, prepared_, stamps};
    std::optional<Recordset> row;
    if (lType == 2) {
      row = RowsWhere(levels.Get("SubSystem", true), "FSubSysID", Variant(lID));
    } else if (lType == 3) {
      row = RowsWhere(levels.Get("SubFunc", true), "FSubFuncID", Variant(lID));
    } else {
      throw UnknownLevelCode();
    }
    return row ? FlagOf(*row, "FRefresh") : false;
  });
}

bool DatasInfo::GetSubSystemInfo(std::string_view sDsn, int32_t& lID, std::shared_ptr<Dictionary>& oDict) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    oDict = PrepareContext(sDsn);
    CallLevels levels{*runtime_, *context_.parse, prepared_, oDict};
    std::optional<Recordset> row = RowsWhere(levels.Get("SubSystem", true), "FSubSysID", Variant(lID));
    if (!row) return false;
    oDict = RecordToDictionary(*row);
    return true;
  });
}

bool DatasInfo::IsSetEnable(std::string_view sDsn, int32_t& lID, std::shared_ptr<Dictionary>& oDict) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    oDict = PrepareContext(sDsn);
    CallLevels levels{*runtime_, *context_.parse, prepared_, oDict};
    std::optional<Recordset> row = RowsWhere(levels.Get("SubFunc", true), "FSubFuncID", Variant(lID));
    if (!row) return false;
    bool enabled = FlagOf(*row, "FSetEnable");
    oDict = RecordToDictionary(*row);
    return enabled;
  });
}

std::string DatasInfo::GetAcctShowName(std::string_view sDsn, std::string_view strName) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    std::shared_ptr<Dictionary> stamps = PrepareContext(sDsn);
    CallLevels levels{*runtime_, *context_.parse, prepared_, stamps};
    return AnswerOrFallback(std::string(), [&] {
      // Account types are template data; the level carries the request
      // language's name and display name.
      std::optional<Recordset> types = levels.Get("AcctType", true);
      Variant wanted(strName);
      std::optional<Recordset> row = RowsWhere(types, "FName", wanted);
      if (!row) row = RowsWhere(types, "FNumber", wanted);
      if (!row) row = RowsWhere(types, "FAccttype", wanted);
      return row ? TextOf(*row, "FShowName") : std::string();
    });
  });
}

}  // namespace lxm

#include "tree/level_cache.h"

#include "core/globals.h"
#include "platform/convert.h"
#include "tree/snapshot_statements.h"
#include "tree/stamps.h"

namespace lxm {

namespace {

constexpr std::string_view kStampLevel = "TimeStamp";

std::string StampOf(const Recordset& stamp_rs) {
  if (stamp_rs.Eof() || stamp_rs.Fields().empty()) return std::string(kZeroStamp);
  return StampToText(stamp_rs.Value(size_t{0}));
}

// Makes one scope's levels current: the template's (no user) or a user's.
std::string CacheLevels(CDataSource& data_source, std::shared_ptr<CacheService>& service,
                        PreparedLevels* prepared, std::optional<int32_t> user_id) {
  DbConnection connection = data_source.Connection();
  const CParse& parse = *data_source.ParseObject();
  std::string language = parse.LanguageID();
  CacheIdentity identity = CacheIdentityOf(parse);
  std::string group = LevelCacheGroup(language);
  bool template_level = !user_id.has_value();

  std::string stamp(kZeroStamp);
  Recordset stamp_rs = template_level
                           ? ReadStampRecordset(connection, kTemplateStampName, true)
                           : ReadStampRecordset(connection, UserStampName(*user_id), true);
  stamp = StampOf(stamp_rs);
  if (service == nullptr) service = OpenCacheService(data_source.runtime());
  CacheService& cache = *service;
  cache.Add(group, LevelCacheKey(kStampLevel, identity, user_id), Variant(stamp_rs), &stamp);

  auto levels = template_level ? std::vector<Level>(kTemplateLevels.begin(), kTemplateLevels.end())
                               : std::vector<Level>(kUserLevels.begin(), kUserLevels.end());
  for (Level level : levels) {
    std::string key = LevelCacheKey(LevelKey(level), identity, user_id);
    Variant cached = cache.GetItem(group, key, &stamp);
    Recordset rs;
    if (cached.kind() == VariantKind::kRecordset && cached.AsRecordset() != nullptr) {
      rs = *cached.AsRecordset();
    } else {
      if (template_level) {
        rs = connection.Query(TemplateLevelStatement(level, language, ColumnSet::kLevelCache));
      } else {
        rs = connection.Query(UserOwnStatement(level, language), {Variant(*user_id)});
      }
      cache.Add(group, key, Variant(rs), &stamp);
    }
    if (prepared != nullptr) prepared->Put(LevelKey(level), template_level, rs);
  }
  return stamp;
}

}  // namespace

CacheIdentity CacheIdentityOf(const CParse& parse) {
  return {parse.GetProperty("UUID"), parse.ConStr()};
}

std::string LevelCacheGroup(std::string_view language_id) {
  return MakeCacheKey({"DataFlow", language_id});
}

std::string LevelCacheKey(std::string_view level_name, const CacheIdentity& identity,
                          std::optional<int32_t> user_id) {
  if (!user_id) return MakeCacheKey({"template", level_name, identity.uuid, identity.database});
  std::string user = std::to_string(*user_id);
  return MakeCacheKey({"user", level_name, identity.uuid, identity.database, user});
}

void PreparedLevels::Put(std::string_view level_name, bool template_level, const Recordset& level) {
  levels_.insert_or_assign({std::string(level_name), template_level}, Recordset(level.data()));
}

std::optional<Recordset> PreparedLevels::Get(std::string_view level_name, bool template_level) const {
  auto it = levels_.find({std::string(level_name), template_level});
  if (it == levels_.end()) return std::nullopt;
  return Recordset(it->second.data());
}

std::shared_ptr<CacheService> OpenCacheService(Runtime& runtime) {
  return runtime.components().CreateAs<CacheService>(CacheService::kProgID);
}

std::string CacheTemplateLevels(CDataSource& data_source, std::shared_ptr<CacheService>& cache,
                                PreparedLevels* prepared) {
  return CacheLevels(data_source, cache, prepared, std::nullopt);
}

std::string CacheUserLevels(CDataSource& data_source, std::shared_ptr<CacheService>& cache,
                            PreparedLevels* prepared) {
  return CacheLevels(data_source, cache, prepared, CurrentUserID(data_source));
}

std::shared_ptr<Dictionary> PrepareSnapshotStamps(CDataSource& data_source, PreparedLevels* prepared) {
  // One service object serves the whole preparation (every object of a
  // runtime shares the same store), opened once the template stamp is read.
  std::shared_ptr<CacheService> cache;
  std::string template_stamp = CacheTemplateLevels(data_source, cache, prepared);
  std::string user_stamp = CacheUserLevels(data_source, cache, prepared);
  auto stamps = Dictionary::Create();
  stamps->Set("TimeStamp", template_stamp);
  stamps->Set("UserTimeStamp", user_stamp);
  stamps->Set("UserID", CurrentUserID(data_source));
  return stamps;
}

std::optional<Recordset> GetCachedLevel(Runtime& runtime, std::string_view level_name,
                                        const Dictionary& stamps, std::string_view language_id,
                                        const CacheIdentity& identity, bool template_level,
                                        const PreparedLevels* prepared) {
  std::string group = LevelCacheGroup(language_id);
  std::string key;
  std::string stamp;
  if (template_level) {
    key = LevelCacheKey(level_name, identity, std::nullopt);
    stamp = CStr(stamps.ValueOr("TimeStamp", Variant(kZeroStamp)));
  } else {
    key = LevelCacheKey(level_name, identity, CLng(stamps.ValueOr("UserID", Variant(0))));
    stamp = CStr(stamps.ValueOr("UserTimeStamp", Variant(kZeroStamp)));
  }
  Variant cached = OpenCacheService(runtime)->GetItem(group, key, &stamp);
  if (cached.kind() == VariantKind::kRecordset && cached.AsRecordset() != nullptr) {
    return *cached.AsRecordset();
  }
  if (prepared != nullptr) return prepared->Get(level_name, template_level);
  return std::nullopt;
}

}  // namespace lxm

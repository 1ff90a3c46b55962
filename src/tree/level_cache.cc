#include "tree/level_cache.h"

#include <array>

#include "core/globals.h"
#include "platform/convert.h"
#include "tree/snapshot_statements.h"
#include "tree/stamps.h"

namespace lxm {

namespace {

// The key under which a scope's levels are kept together.
constexpr std::string_view kLevelsKey = "Levels";

template <size_t N>
int LevelIndex(const std::array<Level, N>& levels, std::string_view level_name) {
  for (size_t i = 0; i < N; ++i) {
    if (LevelKey(levels[i]) == level_name) return static_cast<int>(i);
  }
  return -1;
}

std::optional<Recordset> LevelOf(const std::shared_ptr<const Vector>& levels, bool template_level,
                                 std::string_view level_name) {
  if (levels == nullptr) return std::nullopt;
  int index = template_level ? LevelIndex(kTemplateLevels, level_name) : LevelIndex(kUserLevels, level_name);
  if (index < 0 || index >= levels->Count()) return std::nullopt;
  const Variant& level = levels->items()[static_cast<size_t>(index)];
  if (level.kind() != VariantKind::kRecordset || level.AsRecordset() == nullptr) return std::nullopt;
  return Recordset(level.AsRecordset()->data());
}

std::shared_ptr<const Vector> CachedLevels(CacheService& cache, const std::string& group,
                                           const std::string& key, const std::string& stamp) {
  // Only read here (each level handed out gets its own cursor), so the
  // stored vector itself will do.
  std::optional<Variant> cached = cache.store().GetStored(group, key, &stamp);
  if (!cached || cached->kind() != VariantKind::kVector) return nullptr;
  return cached->AsVector();
}

// Reads one scope's levels, the template's (no user) or a user's, and keeps
// them for `stamp`.
std::shared_ptr<const Vector> LoadLevels(CDataSource& data_source, CacheService& cache,
                                         const std::string& group, const std::string& key,
                                         std::optional<int32_t> user_id, const std::string& stamp) {
  DbConnection connection = data_source.Connection();
  std::string language = data_source.ParseObject()->LanguageID();
  auto levels = Vector::Create();
  if (!user_id) {
    for (Level level : kTemplateLevels) {
      levels->Append(connection.Query(TemplateLevelStatement(level, language, ColumnSet::kLevelCache)));
    }
  } else {
    for (Level level : kUserLevels) {
      levels->Append(connection.Query(UserOwnStatement(level, language), {Variant(*user_id)}));
    }
  }
  cache.Add(group, key, Variant(levels), &stamp);
  return levels;
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

void PreparedLevels::Put(bool template_level, std::shared_ptr<const Vector> levels) {
  (template_level ? template_ : user_) = std::move(levels);
}

std::optional<Recordset> PreparedLevels::Get(std::string_view level_name, bool template_level) const {
  return LevelOf(template_level ? template_ : user_, template_level, level_name);
}

std::shared_ptr<CacheService> OpenCacheService(Runtime& runtime) {
  return runtime.components().CreateAs<CacheService>(CacheService::kProgID);
}

std::shared_ptr<Dictionary> PrepareSnapshotStamps(CDataSource& data_source, PreparedLevels* prepared) {
  int32_t user_id = CurrentUserID(data_source);
  DbConnection connection = data_source.Connection();
  StampPair stamps = ReadStampPair(connection, user_id);
  // One service object serves the whole preparation (every object of a
  // runtime shares the same store).
  std::shared_ptr<CacheService> cache = OpenCacheService(data_source.runtime());
  const CParse& parse = *data_source.ParseObject();
  CacheIdentity identity = CacheIdentityOf(parse);
  std::string group = LevelCacheGroup(parse.LanguageID());
  std::string template_key = LevelCacheKey(kLevelsKey, identity, std::nullopt);
  std::string user_key = LevelCacheKey(kLevelsKey, identity, user_id);

  auto template_levels = CachedLevels(*cache, group, template_key, stamps.template_stamp);
  auto user_levels = CachedLevels(*cache, group, user_key, stamps.user_stamp);
  Transaction& transaction = connection.transaction();
  if ((template_levels == nullptr || user_levels == nullptr) && !transaction.begun()) {
    // Levels must be read: the stamps they are kept under must come from
    // the snapshot they are read in.
    transaction.BeginSnapshot();
    stamps = ReadStampPair(connection, user_id);
    template_levels = CachedLevels(*cache, group, template_key, stamps.template_stamp);
    user_levels = CachedLevels(*cache, group, user_key, stamps.user_stamp);
  }
  if (template_levels == nullptr) {
    template_levels = LoadLevels(data_source, *cache, group, template_key, std::nullopt, stamps.template_stamp);
  }
  if (user_levels == nullptr) {
    user_levels = LoadLevels(data_source, *cache, group, user_key, user_id, stamps.user_stamp);
  }
  if (prepared != nullptr) {
    prepared->Put(true, std::move(template_levels));
    prepared->Put(false, std::move(user_levels));
  }
  auto result = Dictionary::Create();
  result->Set("TimeStamp", std::move(stamps.template_stamp));
  result->Set("UserTimeStamp", std::move(stamps.user_stamp));
  result->Set("UserID", user_id);
  return result;
}

std::optional<Recordset> GetCachedLevel(Runtime& runtime, std::string_view level_name,
                                        const Dictionary& stamps, std::string_view language_id,
                                        const CacheIdentity& identity, bool template_level,
                                        const PreparedLevels* prepared) {
  std::optional<int32_t> user_id;
  std::string stamp;
  if (template_level) {
    stamp = CStr(stamps.ValueOr("TimeStamp", Variant(kZeroStamp)));
  } else {
    user_id = CLng(stamps.ValueOr("UserID", Variant(0)));
    stamp = CStr(stamps.ValueOr("UserTimeStamp", Variant(kZeroStamp)));
  }
  std::shared_ptr<const Vector> levels = CachedLevels(
      *OpenCacheService(runtime), LevelCacheGroup(language_id), LevelCacheKey(kLevelsKey, identity, user_id), stamp);
  if (std::optional<Recordset> level = LevelOf(levels, template_level, level_name)) return level;
  if (prepared != nullptr) return prepared->Get(level_name, template_level);
  return std::nullopt;
}

}  // namespace lxm

#include "tree/cls_data_info.h"

#include "core/globals.h"
#include "platform/cache_service.h"
#include "tree/level_cache.h"
#include "tree/snapshot_statements.h"
#include "tree/stamps.h"

namespace lxm {

std::shared_ptr<Dictionary> clsDataInfo::GetTemplate(std::string_view sDsn) {
  return RunInCallScope(*runtime_, false, [&] {
    context_ = PrepareContext(*runtime_, sDsn);
    DbConnection connection = context_.data_source->Connection();
    std::string language = context_.parse->LanguageID();

    CacheIdentity identity = CacheIdentityOf(*context_.parse);
    // Not kept when the call wrote before: should it roll back, a later
    // commit may give the stamp it saw to other content.
    const bool keep = !connection.transaction().has_written();

    auto snapshot = Dictionary::Create();
    std::string stamp = ReadTemplateStamp(connection);
    snapshot->Set("TimeStamp", stamp);
    const std::string group = "DataFlow";
    const std::string key = MakeCacheKey({"Template", language, identity.uuid, identity.database});
    Variant cached;
    if (FindCachedSnapshot(group, key, stamp, &cached) && cached.kind() == VariantKind::kDictionary) {
      return cached.AsDictionary();
    }
    // The levels are read: the stamp they are kept under must come from
    // the same snapshot.
    if (!connection.transaction().begun()) {
      connection.transaction().BeginSnapshot();
      stamp = ReadTemplateStamp(connection);
      snapshot->Set("TimeStamp", stamp);
    }
    for (Level level : kTemplateLevels) {
      std::string sql = TemplateLevelStatement(level, language, ColumnSet::kSnapshot);
      snapshot->Set(LevelKey(level), connection.Query(sql));
    }
    if (keep) StoreCachedSnapshot(group, key, Variant(snapshot), stamp);
    return snapshot;
  });
}

std::shared_ptr<Dictionary> clsDataInfo::GetUserData(std::string_view sDsn) {
  return RunInCallScope(*runtime_, false, [&] {
    context_ = PrepareContext(*runtime_, sDsn);
    DbConnection connection = context_.data_source->Connection();
    std::string language = context_.parse->LanguageID();

    auto snapshot = Dictionary::Create();
    int32_t user_id = CurrentUserID(*context_.data_source);
    connection.transaction().BeginSnapshot();  // the stamp and levels as of one snapshot
    snapshot->Set("TimeStamp", ReadUserStamp(connection, user_id));
    for (Level level : kUserLevels) {
      std::string sql = UserMergedStatement(level, language);
      snapshot->Set(LevelKey(level), connection.Query(sql, {Variant(user_id)}));
    }
    return snapshot;
  });
}

bool clsDataInfo::FindCachedSnapshot(const std::string& group, const std::string& key,
                                     const std::string& stamp, Variant* value) {
  try {
    std::shared_ptr<CacheService> cache = OpenCacheService(*runtime_);
    // The stored entry is only read here; the caller gets its own share of
    // the snapshot.
    std::optional<Variant> item = cache->store().GetStored(group, key, nullptr);
    if (!item || item->kind() != VariantKind::kDictionary || item->AsDictionary() == nullptr) return false;
    const Dictionary& entry = *item->AsDictionary();
    const Variant& stored_stamp = entry.ValueOr("Timestamp", Variant());
    if (stored_stamp.kind() == VariantKind::kString && stored_stamp.AsString() == stamp) {
      *value = ShareValue(entry.Item("Value"));
      return true;
    }
    cache->Remove(group, key);
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

void clsDataInfo::StoreCachedSnapshot(const std::string& group, const std::string& key,
                                      const Variant& value, const std::string& stamp) {
  try {
    auto item = Dictionary::Create();
    item->Set("Value", value);
    item->Set("Timestamp", stamp);
    OpenCacheService(*runtime_)->Add(group, key, Variant(item));
  } catch (const std::exception&) {
    // A snapshot that could not be kept is read again next time.
  }
}

std::string clsDataInfo::GetTemplateVer(std::string_view sDsn) {
  return RunInCallScope(*runtime_, false, [&] {
    GetObjectContext().SetComplete();
    context_ = PrepareContext(*runtime_, sDsn);
    return ReadTemplateStamp(context_.data_source->Connection());
  });
}

std::string clsDataInfo::GetUserTemplateVer(std::string_view sDsn) {
  return RunInCallScope(*runtime_, false, [&] {
    context_ = PrepareContext(*runtime_, sDsn);
    DbConnection connection = context_.data_source->Connection();
    return ReadUserStamp(connection, CurrentUserID(*context_.data_source));
  });
}

}  // namespace lxm

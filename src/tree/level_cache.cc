#include "tree/level_cache.h"

#include <array>
#include <functional>
#include <future>
#include <mutex>
#include <unordered_map>

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

std::shared_ptr<const Vector> CachedLevels(CacheService& cache, const std::string& full_key,
                                           const std::string& stamp) {
  // Only read here (each level handed out gets its own cursor), so the
  // stored vector itself will do.
  std::optional<Variant> cached = cache.store().GetStoredByKey(full_key, &stamp);
  if (!cached || cached->kind() != VariantKind::kVector) return nullptr;
  return cached->AsVector();
}

// Where a descriptor's two scopes are kept in the cache.
struct ScopeKeys {
  // Held, so that no other descriptor parsed later takes its address.
  std::shared_ptr<const CParse> parse;
  int32_t user_id = 0;
  std::string group;
  std::string template_key;
  std::string user_key;
  // MakeCacheKey({group, key}) of each, for the look-ups.
  std::string template_full_key;
  std::string user_full_key;
};

// The keys of `parse`'s scopes. A thread serves the same few descriptors
// over and over (their parses are shared, see ParseDescriptor), so it
// remembers the keys of the last few instead of building them every call.
std::shared_ptr<const ScopeKeys> KeysOf(const std::shared_ptr<CParse>& parse, int32_t user_id) {
  thread_local std::array<std::shared_ptr<const ScopeKeys>, 8> recent;
  thread_local size_t next = 0;
  for (const auto& keys : recent) {
    if (keys != nullptr && keys->parse == parse && keys->user_id == user_id) return keys;
  }
  auto keys = std::make_shared<ScopeKeys>();
  keys->parse = parse;
  keys->user_id = user_id;
  CacheIdentity identity = CacheIdentityOf(*parse);
  keys->group = LevelCacheGroup(parse->LanguageID());
  keys->template_key = LevelCacheKey(kLevelsKey, identity, std::nullopt);
  keys->user_key = LevelCacheKey(kLevelsKey, identity, user_id);
  keys->template_full_key = MakeCacheKey({keys->group, keys->template_key});
  keys->user_full_key = MakeCacheKey({keys->group, keys->user_key});
  recent[next++ % recent.size()] = keys;
  return keys;
}

// Reads one scope's levels, the template's (no user) or a user's, and keeps
// them for `stamp` when `keep`.
std::shared_ptr<const Vector> LoadLevels(CDataSource& data_source, CacheService& cache,
                                         const std::string& group, const std::string& key,
                                         std::optional<int32_t> user_id, const std::string& stamp,
                                         bool keep) {
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
  if (keep) cache.Add(group, key, Variant(levels), &stamp);
  return levels;
}

// A scope's levels read once for all who need them at the same stamp at the
// same time. Without this, callers who miss together each read the scope
// and hold it at once: for a scope too large for the cache that is every
// caller, every call. The levels are the same for all, since equal stamps
// mean equal content.
std::shared_ptr<const Vector> LoadLevelsOnce(const std::string& full_key, const std::string& stamp,
                                             const std::function<std::shared_ptr<const Vector>()>& load) {
  using Loaded = std::shared_future<std::shared_ptr<const Vector>>;
  static std::mutex mutex;
  static std::unordered_map<std::string, Loaded> under_way;  // GUARDED_BY(mutex)
  std::string id = MakeCacheKey({full_key, stamp});
  std::promise<std::shared_ptr<const Vector>> promise;
  Loaded other;
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = under_way.find(id);
    if (it != under_way.end()) {
      other = it->second;
    } else {
      under_way.emplace(id, promise.get_future().share());
    }
  }
  if (other.valid()) {
    // A load that failed hands over nothing: then this caller reads for
    // itself and meets its own error, if any.
    if (std::shared_ptr<const Vector> levels = other.get()) return levels;
    return load();
  }
  std::shared_ptr<const Vector> levels;
  try {
    levels = load();
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex);
    under_way.erase(id);
    promise.set_value(nullptr);
    throw;
  }
  std::lock_guard<std::mutex> lock(mutex);
  under_way.erase(id);
  promise.set_value(levels);
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

SnapshotStamps PrepareLevels(CDataSource& data_source, PreparedLevels* prepared) {
  int32_t user_id = CurrentUserID(data_source);
  DbConnection connection = data_source.Connection();
  Transaction& transaction = connection.transaction();
  // What a call that wrote reads is neither kept nor shared: should it roll
  // back, a later commit may give the stamps it saw to other content. (The
  // stamp rows the reads below may create are no such write.)
  const bool shared = !transaction.has_written();
  StampPair stamps = ReadStampPair(connection, user_id);
  // One service object serves the whole preparation (every object of a
  // runtime shares the same store).
  std::shared_ptr<CacheService> cache = OpenCacheService(data_source.runtime());
  std::shared_ptr<const ScopeKeys> keys = KeysOf(data_source.ParseObject(), user_id);

  auto template_levels = CachedLevels(*cache, keys->template_full_key, stamps.template_stamp);
  auto user_levels = CachedLevels(*cache, keys->user_full_key, stamps.user_stamp);
  if ((template_levels == nullptr || user_levels == nullptr) && !transaction.begun()) {
    // Levels must be read: the stamps they are kept under must come from
    // the snapshot they are read in.
    transaction.BeginSnapshot();
    stamps = ReadStampPair(connection, user_id);
    template_levels = CachedLevels(*cache, keys->template_full_key, stamps.template_stamp);
    user_levels = CachedLevels(*cache, keys->user_full_key, stamps.user_stamp);
  }
  auto load_template = [&] {
    return LoadLevels(data_source, *cache, keys->group, keys->template_key, std::nullopt,
                      stamps.template_stamp, shared);
  };
  auto load_user = [&] {
    return LoadLevels(data_source, *cache, keys->group, keys->user_key, user_id, stamps.user_stamp, shared);
  };
  if (template_levels == nullptr) {
    template_levels = shared ? LoadLevelsOnce(keys->template_full_key, stamps.template_stamp, load_template)
                             : load_template();
  }
  if (user_levels == nullptr) {
    user_levels = shared ? LoadLevelsOnce(keys->user_full_key, stamps.user_stamp, load_user) : load_user();
  }
  if (prepared != nullptr) {
    prepared->Put(true, std::move(template_levels));
    prepared->Put(false, std::move(user_levels));
  }
  return {std::move(stamps), user_id};
}

std::shared_ptr<Dictionary> PrepareSnapshotStamps(CDataSource& data_source, PreparedLevels* prepared) {
  SnapshotStamps stamps = PrepareLevels(data_source, prepared);
  auto result = Dictionary::Create();
  result->Set("TimeStamp", std::move(stamps.stamps.template_stamp));
  result->Set("UserTimeStamp", std::move(stamps.stamps.user_stamp));
  result->Set("UserID", stamps.user_id);
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
  std::shared_ptr<const Vector> levels =
      CachedLevels(*OpenCacheService(runtime),
                   MakeCacheKey({LevelCacheGroup(language_id), LevelCacheKey(kLevelsKey, identity, user_id)}),
                   stamp);
  if (std::optional<Recordset> level = LevelOf(levels, template_level, level_name)) return level;
  if (prepared != nullptr) return prepared->Get(level_name, template_level);
  return std::nullopt;
}

}  // namespace lxm

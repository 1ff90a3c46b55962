// The level cache: every tree level of the template and of each user's
// overlay, kept in the cache service under the stamp it was read with, so
// that a listing costs the two stamp reads and a lookup once stamps are
// current.
//
// Keys cannot collide: the group is made of "DataFlow" and the language; the
// key of the level name, the account identity (the descriptor's "UUID") and
// the database (its connect string), and for user levels the user ID, each
// as a separate field (MakeCacheKey). The database is always part of the key:
// stamps are counted per database, so two databases can show equal stamps,
// and a UUID alone (given by the caller) must not let one serve the other.
#ifndef LXM_TREE_LEVEL_CACHE_H_
#define LXM_TREE_LEVEL_CACHE_H_

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/cdatasource.h"
#include "platform/cache_service.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"

namespace lxm {

// Whose tree a cache entry holds.
struct CacheIdentity {
  std::string uuid;      // the descriptor's "UUID", possibly empty
  std::string database;  // the descriptor's connect string
};
CacheIdentity CacheIdentityOf(const CParse& parse);

// The cache group of a language ("DataFlow" and the language as fields).
std::string LevelCacheGroup(std::string_view language_id);
// The key of a template level, or of a user's level when `user_id` is given.
std::string LevelCacheKey(std::string_view level_name, const CacheIdentity& identity,
                          std::optional<int32_t> user_id);

// The levels a call prepared, by level name and template flag. A listing
// falls back on them should a concurrent call have replaced the cache entry
// between preparation and lookup.
class PreparedLevels {
 public:
  void Put(std::string_view level_name, bool template_level, const Recordset& level);
  std::optional<Recordset> Get(std::string_view level_name, bool template_level) const;

 private:
  std::map<std::pair<std::string, bool>, Recordset> levels_;
};

// A cache service object of the runtime; raises the creation error (429)
// when the component is not available.
std::shared_ptr<CacheService> OpenCacheService(Runtime& runtime);

// Brings the template and the caller's levels in the cache up to date for
// the current stamps and returns the stamp dictionary: "TimeStamp" (template
// stamp), "UserTimeStamp" (the caller's), "UserID". Creates missing stamp
// rows. Raises the creation error without a cache service, database errors,
// the missing-column error of an unknown language, and error 13 without a
// user ID.
std::shared_ptr<Dictionary> PrepareSnapshotStamps(CDataSource& data_source,
                                                  PreparedLevels* prepared = nullptr);

// The template stamp after making the template levels current. `cache` is
// the preparation's cache service, opened here on first use: only after the
// stamp row has been read (and created when missing), so a missing component
// fails the call with the stamp row in place.
std::string CacheTemplateLevels(CDataSource& data_source, std::shared_ptr<CacheService>& cache,
                                PreparedLevels* prepared);
// The caller's stamp after making the caller's levels current; `cache` as
// above.
std::string CacheUserLevels(CDataSource& data_source, std::shared_ptr<CacheService>& cache,
                            PreparedLevels* prepared);

// The cached level for the stamps of `stamps`: the template's when
// `template_level`, else the caller's (stamps' "UserID"). Nothing when the
// cache has no current entry and `prepared` holds none either.
std::optional<Recordset> GetCachedLevel(Runtime& runtime, std::string_view level_name,
                                        const Dictionary& stamps, std::string_view language_id,
                                        const CacheIdentity& identity, bool template_level,
                                        const PreparedLevels* prepared = nullptr);

}  // namespace lxm

#endif  // LXM_TREE_LEVEL_CACHE_H_

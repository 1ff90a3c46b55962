// The level cache: the tree levels of the template and of each user's
// overlay, kept in the cache service under the stamp they were read with
// (one entry per scope holding all its levels, as they are read and dropped
// together), so that a warm listing costs a look at the stamps (most often
// none: see stamps.h) and two lookups.
//
// Keys cannot collide: the group is made of "DataFlow" and the language; the
// key of the level name, the account identity (the descriptor's "UUID") and
// the database (its connect string), and for user levels the user ID, each
// as a separate field (MakeCacheKey). The database is always part of the key:
// stamps are counted per database, so two databases can show equal stamps,
// and a UUID alone (given by the caller) must not let one serve the other.
#ifndef LXM_TREE_LEVEL_CACHE_H_
#define LXM_TREE_LEVEL_CACHE_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/cdatasource.h"
#include "platform/cache_service.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "tree/stamps.h"

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
  // A scope's levels, in the order of kTemplateLevels or kUserLevels.
  void Put(bool template_level, std::shared_ptr<const Vector> levels);
  // The level named exactly `level_name`, or nothing.
  std::optional<Recordset> Get(std::string_view level_name, bool template_level) const;

 private:
  std::shared_ptr<const Vector> template_;
  std::shared_ptr<const Vector> user_;
};

// A cache service object of the runtime; raises the creation error (429)
// when the component is not available.
std::shared_ptr<CacheService> OpenCacheService(Runtime& runtime);

struct SnapshotStamps {
  StampPair stamps;
  int32_t user_id = 0;
};
// As PrepareSnapshotStamps below, the stamps without a dictionary.
SnapshotStamps PrepareLevels(CDataSource& data_source, PreparedLevels* prepared);

// Brings the template and the caller's levels in the cache up to date for
// the current stamps and returns the stamp dictionary: "TimeStamp" (template
// stamp), "UserTimeStamp" (the caller's), "UserID". Creates missing stamp
// rows; the cache service is opened after that, so a missing component fails
// the call with the rows in place. Raises the creation error without a cache
// service, database errors,
// the missing-column error of an unknown language, and error 13 without a
// user ID.
std::shared_ptr<Dictionary> PrepareSnapshotStamps(CDataSource& data_source,
                                                  PreparedLevels* prepared = nullptr);

// The cached level for the stamps of `stamps`: the template's when
// `template_level`, else the caller's (stamps' "UserID"). Nothing when the
// cache has no current entry and `prepared` holds none either.
std::optional<Recordset> GetCachedLevel(Runtime& runtime, std::string_view level_name,
                                        const Dictionary& stamps, std::string_view language_id,
                                        const CacheIdentity& identity, bool template_level,
                                        const PreparedLevels* prepared = nullptr);

}  // namespace lxm

#endif  // LXM_TREE_LEVEL_CACHE_H_

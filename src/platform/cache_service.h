// The cache service ("SpindleCache.CacheFacade"): a process-wide store of
// immutable values, each entry kept with the stamp it was stored under.
//
// GetItem with a stamp returns nothing for an entry stored under another
// stamp: the reader reloads and Adds again. Values are shared, not copied: a
// cached recordset comes back as a new Recordset (its own cursor) over the
// same rows; a cached dictionary as a new dictionary over the same values.
//
// The store is bounded in memory (an estimate of the values' size) and drops
// the least recently used entries beyond the bound. The encoded text the
// server keeps with a cached recordset counts too: made after the entry was
// stored, it grows the entry and may drop older ones.
//
// Thread-safety: CacheStore and the facade are safe to use from any thread.
#ifndef LXM_PLATFORM_CACHE_SERVICE_H_
#define LXM_PLATFORM_CACHE_SERVICE_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/variant.h"

namespace lxm {

class RecordsetData;

// An unambiguous key made of several text fields (each stored with its
// length), so that no two different field lists give the same key.
std::string MakeCacheKey(std::initializer_list<std::string_view> fields);

class CacheStore {
 public:
  struct Stats {
    size_t entries = 0;
    size_t bytes = 0;
    uint64_t hits = 0;
    uint64_t misses = 0;
    uint64_t evictions = 0;
  };

  explicit CacheStore(size_t max_bytes);
  ~CacheStore();
  CacheStore(const CacheStore&) = delete;
  CacheStore& operator=(const CacheStore&) = delete;

  // The stored value (shared, see above), or nullopt when there is none or,
  // with a stamp, when the entry's stamp differs.
  std::optional<Variant> Get(const std::string& group, const std::string& key,
                             const std::string* stamp);
  // As Get, but the stored value itself, not a share of it: for callers that
  // only read it, never moving a cursor nor changing a container of it.
  std::optional<Variant> GetStored(const std::string& group, const std::string& key,
                                   const std::string* stamp);
  // As GetStored, by the key MakeCacheKey({group, key}) made once beforehand.
  std::optional<Variant> GetStoredByKey(const std::string& full_key, const std::string* stamp);
  // Stores or replaces the entry. A value larger than the whole bound is not
  // kept.
  void Put(const std::string& group, const std::string& key, const Variant& value,
           std::string stamp);
  void Remove(const std::string& group, const std::string& key);
  void Clear();

  Stats stats() const;
  size_t max_bytes() const;
  // Changes the bound; entries beyond a smaller one are dropped at once.
  void SetMaxBytes(size_t max_bytes);

  // The default bound: room for the demo account's levels many times over.
  static constexpr size_t kDefaultMaxBytes = size_t{256} << 20;

 private:
  // A recordset of an entry's value, and whether its encoded text is in the
  // entry's bytes yet.
  struct HeldRows {
    const RecordsetData* data = nullptr;  // kept alive by the entry's value
    bool text_counted = false;
  };
  struct Entry {
    std::string full_key;
    Variant value;
    std::string stamp;
    size_t bytes = 0;
    std::vector<HeldRows> held_rows;
  };
  class TextWatcher;
  // Entries leaving the store: released after the lock, and then, once
  // enough has left since the last time, freed memory is given back.
  struct Dropped {
    std::list<Entry> entries;
    bool release_memory = false;
    ~Dropped();
  };
  static constexpr size_t kMinReleaseBytes = size_t{1} << 20;

  // Adds the text's bytes to every entry holding `data` that has not
  // counted it, then evicts beyond the bound.
  void CountText(const RecordsetData& data, size_t bytes);
  // Takes the entry out of the store's bookkeeping and moves it to `dropped`.
  void UnlinkLocked(std::list<Entry>::iterator it, Dropped* dropped);
  void NoteDroppedLocked(size_t bytes, Dropped* dropped);

  // One lock for the whole store: entries of any size share one bound, and
  // the work under the lock is a hash lookup and a list splice.
  // Drops least recently used entries into `dropped` until within the bound.
  void EvictLocked(Dropped* dropped);

  mutable std::mutex mutex_;
  size_t max_bytes_;  // GUARDED_BY(mutex_)
  std::list<Entry> lru_;  // GUARDED_BY(mutex_); front = most recent
  std::unordered_map<std::string, std::list<Entry>::iterator> index_;  // GUARDED_BY(mutex_)
  // The entries holding each recordset, to find them when its text is made.
  std::unordered_multimap<const RecordsetData*, Entry*> holders_;  // GUARDED_BY(mutex_)
  size_t bytes_ = 0;                                                // GUARDED_BY(mutex_)
  size_t dropped_since_release_ = 0;                                // GUARDED_BY(mutex_)
  std::shared_ptr<TextWatcher> text_watcher_;
  uint64_t hits_ = 0, misses_ = 0, evictions_ = 0;                  // GUARDED_BY(mutex_)
};

// The component clients create by ProgID: a handle on a CacheStore.
class CacheService : public Object {
 public:
  inline static constexpr std::string_view kProgID = "SpindleCache.CacheFacade";

  explicit CacheService(std::shared_ptr<CacheStore> store) : store_(std::move(store)) {}

  // The value under group and key, or Empty when there is none; with a
  // stamp, also Empty for an entry stored under another stamp.
  Variant GetItem(const std::string& group, const std::string& key,
                  const std::string* stamp = nullptr);
  // Stores the value under group and key with the stamp ("" when none).
  void Add(const std::string& group, const std::string& key, const Variant& value,
           const std::string* stamp = nullptr);
  void Remove(const std::string& group, const std::string& key);

  CacheStore& store() const { return *store_; }

 private:
  std::shared_ptr<CacheStore> store_;
};

// An estimate of the memory a value holds, for the cache's bound.
size_t EstimateBytes(const Variant& value);

// The value as the cache hands it out: recordsets get their own cursor over
// the same rows, dictionaries and vectors a new container over shared values.
Variant ShareValue(const Variant& value);

}  // namespace lxm

#endif  // LXM_PLATFORM_CACHE_SERVICE_H_

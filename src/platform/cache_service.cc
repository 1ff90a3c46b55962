#include "platform/cache_service.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <functional>
#include <iterator>

#include "platform/dictionary.h"
#include "platform/recordset.h"

namespace lxm {

std::string MakeCacheKey(std::initializer_list<std::string_view> fields) {
  std::string key;
  for (std::string_view field : fields) {
    key += std::to_string(field.size());
    key += ':';
    key += field;
  }
  return key;
}

size_t EstimateBytes(const Variant& value) {
  size_t bytes = sizeof(Variant);
  switch (value.kind()) {
    case VariantKind::kString: return bytes + value.AsString().capacity();
    case VariantKind::kBytes: return bytes + value.AsBytes().capacity();
    case VariantKind::kDictionary:
      if (const auto& dictionary = value.AsDictionary()) {
        for (const auto& [key, item] : dictionary->entries()) bytes += key.capacity() + EstimateBytes(item);
      }
      return bytes;
    case VariantKind::kVector:
      if (const auto& vector = value.AsVector()) {
        for (const Variant& item : vector->items()) bytes += EstimateBytes(item);
      }
      return bytes;
    case VariantKind::kRecordset:
      if (const auto& recordset = value.AsRecordset()) {
        for (const Field& field : recordset->Fields()) bytes += sizeof(Field) + field.name.capacity();
        for (const Row& row : recordset->Rows()) {
          bytes += sizeof(Row);
          for (const Variant& cell : row) bytes += EstimateBytes(cell);
        }
      }
      return bytes;
    default: return bytes;
  }
}

Variant ShareValue(const Variant& value) {
  switch (value.kind()) {
    case VariantKind::kRecordset:
      if (const auto& recordset = value.AsRecordset()) {
        return Variant(std::make_shared<Recordset>(recordset->data()));
      }
      return value;
    case VariantKind::kDictionary:
      if (const auto& dictionary = value.AsDictionary()) {
        auto copy = Dictionary::Create();
        for (const auto& [key, item] : dictionary->entries()) copy->Set(key, ShareValue(item));
        return Variant(copy);
      }
      return value;
    case VariantKind::kVector:
      if (const auto& vector = value.AsVector()) {
        auto copy = Vector::Create();
        for (const Variant& item : vector->items()) copy->Append(ShareValue(item));
        return Variant(copy);
      }
      return value;
    default: return value;
  }
}

namespace {

// The recordsets in a value, each once.
void CollectRecordsetData(const Variant& value, std::vector<const RecordsetData*>* found) {
  switch (value.kind()) {
    case VariantKind::kRecordset:
      if (const auto& recordset = value.AsRecordset()) {
        const RecordsetData* data = recordset->data().get();
        if (std::find(found->begin(), found->end(), data) == found->end()) found->push_back(data);
      }
      return;
    case VariantKind::kDictionary:
      if (const auto& dictionary = value.AsDictionary()) {
        for (const auto& [key, item] : dictionary->entries()) CollectRecordsetData(item, found);
      }
      return;
    case VariantKind::kVector:
      if (const auto& vector = value.AsVector()) {
        for (const Variant& item : vector->items()) CollectRecordsetData(item, found);
      }
      return;
    default: return;
  }
}

}  // namespace

// Passes news of a text to the store while the store exists. Recordsets hold
// it weakly and may tell it after the store is gone: then it does nothing.
class CacheStore::TextWatcher : public EncodedTextWatcher {
 public:
  explicit TextWatcher(CacheStore* store) : store_(store) {}

  void TextMade(const RecordsetData& data, size_t bytes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (store_ != nullptr) store_->CountText(data, bytes);
  }
  void Detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    store_ = nullptr;
  }

 private:
  std::mutex mutex_;
  CacheStore* store_;  // GUARDED_BY(mutex_)
};

namespace {

// Gives the allocator's free pages back to the system. glibc keeps freed
// memory in the arena of the thread that used it, so rows dropped from the
// cache (and the large levels calls load and let go) would otherwise stay
// resident in every worker's arena.
void ReleaseFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace

CacheStore::Dropped::~Dropped() {
  entries.clear();
  if (release_memory) ReleaseFreedMemory();
}

void CacheStore::NoteDroppedLocked(size_t bytes, Dropped* dropped) {
  // Trimming walks every arena: done once a quarter of the bound has gone,
  // not for each entry.
  dropped_since_release_ += bytes;
  if (dropped_since_release_ >= std::max(max_bytes_ / 4, kMinReleaseBytes)) {
    dropped_since_release_ = 0;
    dropped->release_memory = true;
  }
}

CacheStore::CacheStore(size_t max_bytes)
    : max_bytes_(max_bytes), text_watcher_(std::make_shared<TextWatcher>(this)) {}

CacheStore::~CacheStore() { text_watcher_->Detach(); }

std::optional<Variant> CacheStore::Get(const std::string& group, const std::string& key,
                                       const std::string* stamp) {
  std::optional<Variant> found = GetStored(group, key, stamp);
  if (!found) return found;
  return ShareValue(*found);
}

std::optional<Variant> CacheStore::GetStored(const std::string& group, const std::string& key,
                                             const std::string* stamp) {
  return GetStoredByKey(MakeCacheKey({group, key}), stamp);
}

std::optional<Variant> CacheStore::GetStoredByKey(const std::string& full_key, const std::string* stamp) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = index_.find(full_key);
  if (it == index_.end() || (stamp != nullptr && it->second->stamp != *stamp)) {
    ++misses_;
    return std::nullopt;
  }
  ++hits_;
  lru_.splice(lru_.begin(), lru_, it->second);
  return it->second->value;  // a reference count, not a copy of the rows
}

void CacheStore::Put(const std::string& group, const std::string& key, const Variant& value,
                     std::string stamp) {
  Entry entry;
  entry.full_key = MakeCacheKey({group, key});
  entry.value = ShareValue(value);  // the cache keeps its own containers
  entry.stamp = std::move(stamp);
  std::vector<const RecordsetData*> rows;
  CollectRecordsetData(entry.value, &rows);
  for (const RecordsetData* data : rows) {
    // Watched before the text is looked at under the lock below: a text made
    // in between is seen there, or else reaches CountText afterwards.
    data->WatchEncoded(text_watcher_);
    entry.held_rows.push_back({data, false});
  }
  entry.bytes = EstimateBytes(entry.value) + entry.full_key.capacity() + sizeof(Entry) +
                entry.held_rows.capacity() * sizeof(HeldRows);
  Dropped dropped;  // released outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = index_.find(entry.full_key);
  if (it != index_.end()) UnlinkLocked(it->second, &dropped);
  for (HeldRows& held : entry.held_rows) {
    if (size_t text_bytes = held.data->EncodedBytes(); text_bytes > 0) {
      held.text_counted = true;
      entry.bytes += text_bytes;
    }
  }
  if (entry.bytes > max_bytes_) return;
  bytes_ += entry.bytes;
  lru_.push_front(std::move(entry));
  Entry* stored = &lru_.front();
  index_[stored->full_key] = lru_.begin();
  for (const HeldRows& held : stored->held_rows) holders_.emplace(held.data, stored);
  EvictLocked(&dropped);
}

void CacheStore::CountText(const RecordsetData& data, size_t bytes) {
  Dropped dropped;  // released outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  auto [first, last] = holders_.equal_range(&data);
  for (auto holder = first; holder != last; ++holder) {
    Entry& entry = *holder->second;
    for (HeldRows& held : entry.held_rows) {
      if (held.data != &data || held.text_counted) continue;
      held.text_counted = true;
      entry.bytes += bytes;
      bytes_ += bytes;
    }
  }
  EvictLocked(&dropped);
}

void CacheStore::UnlinkLocked(std::list<Entry>::iterator it, Dropped* dropped) {
  bytes_ -= it->bytes;
  NoteDroppedLocked(it->bytes, dropped);
  for (const HeldRows& held : it->held_rows) {
    auto [first, last] = holders_.equal_range(held.data);
    for (auto holder = first; holder != last; ++holder) {
      if (holder->second == &*it) {
        holders_.erase(holder);
        break;
      }
    }
  }
  index_.erase(it->full_key);
  dropped->entries.splice(dropped->entries.end(), lru_, it);
}

void CacheStore::EvictLocked(Dropped* dropped) {
  while (bytes_ > max_bytes_ && !lru_.empty()) {
    UnlinkLocked(std::prev(lru_.end()), dropped);
    ++evictions_;
  }
}

size_t CacheStore::max_bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return max_bytes_;
}

void CacheStore::SetMaxBytes(size_t max_bytes) {
  Dropped dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  max_bytes_ = max_bytes;
  EvictLocked(&dropped);
}

void CacheStore::Remove(const std::string& group, const std::string& key) {
  std::string full_key = MakeCacheKey({group, key});
  Dropped dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = index_.find(full_key);
  if (it == index_.end()) return;
  UnlinkLocked(it->second, &dropped);
}

void CacheStore::Clear() {
  Dropped dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  dropped.entries.swap(lru_);
  index_.clear();
  holders_.clear();
  NoteDroppedLocked(bytes_, &dropped);
  bytes_ = 0;
}

CacheStore::Stats CacheStore::stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Stats stats;
  stats.entries = lru_.size();
  stats.bytes = bytes_;
  stats.hits = hits_;
  stats.misses = misses_;
  stats.evictions = evictions_;
  return stats;
}

Variant CacheService::GetItem(const std::string& group, const std::string& key,
                              const std::string* stamp) {
  std::optional<Variant> value = store_->Get(group, key, stamp);
  return value ? std::move(*value) : Variant();
}

void CacheService::Add(const std::string& group, const std::string& key, const Variant& value,
                       const std::string* stamp) {
  store_->Put(group, key, value, stamp != nullptr ? *stamp : std::string());
}

void CacheService::Remove(const std::string& group, const std::string& key) {
  store_->Remove(group, key);
}

}  // namespace lxm

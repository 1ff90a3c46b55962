#include "platform/cache_service.h"

#include <functional>

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

CacheStore::CacheStore(size_t max_bytes)
    : max_bytes_(max_bytes), shard_budget_(max_bytes / kShards) {
  for (size_t i = 0; i < kShards; ++i) shards_.push_back(std::make_unique<Shard>());
}

CacheStore::Shard& CacheStore::ShardFor(const std::string& full_key) {
  return *shards_[std::hash<std::string>{}(full_key) % kShards];
}

std::optional<Variant> CacheStore::Get(const std::string& group, const std::string& key,
                                       const std::string* stamp) {
  std::string full_key = MakeCacheKey({group, key});
  Shard& shard = ShardFor(full_key);
  std::lock_guard<std::mutex> lock(shard.mutex);
  auto it = shard.index.find(full_key);
  if (it == shard.index.end() || (stamp != nullptr && it->second->stamp != *stamp)) {
    ++shard.misses;
    return std::nullopt;
  }
  ++shard.hits;
  shard.lru.splice(shard.lru.begin(), shard.lru, it->second);
  return ShareValue(it->second->value);
}

void CacheStore::Put(const std::string& group, const std::string& key, const Variant& value,
                     std::string stamp) {
  Entry entry;
  entry.full_key = MakeCacheKey({group, key});
  entry.value = ShareValue(value);  // the cache keeps its own containers
  entry.stamp = std::move(stamp);
  entry.bytes = EstimateBytes(entry.value) + entry.full_key.capacity() + sizeof(Entry);
  Shard& shard = ShardFor(entry.full_key);
  std::lock_guard<std::mutex> lock(shard.mutex);
  auto it = shard.index.find(entry.full_key);
  if (it != shard.index.end()) {
    shard.bytes -= it->second->bytes;
    shard.lru.erase(it->second);
    shard.index.erase(it);
  }
  if (entry.bytes > shard_budget_) return;
  shard.bytes += entry.bytes;
  shard.lru.push_front(std::move(entry));
  shard.index[shard.lru.front().full_key] = shard.lru.begin();
  while (shard.bytes > shard_budget_ && !shard.lru.empty()) {
    Entry& victim = shard.lru.back();
    shard.bytes -= victim.bytes;
    shard.index.erase(victim.full_key);
    shard.lru.pop_back();
    ++shard.evictions;
  }
}

void CacheStore::Remove(const std::string& group, const std::string& key) {
  std::string full_key = MakeCacheKey({group, key});
  Shard& shard = ShardFor(full_key);
  std::lock_guard<std::mutex> lock(shard.mutex);
  auto it = shard.index.find(full_key);
  if (it == shard.index.end()) return;
  shard.bytes -= it->second->bytes;
  shard.lru.erase(it->second);
  shard.index.erase(it);
}

void CacheStore::Clear() {
  for (auto& shard : shards_) {
    std::lock_guard<std::mutex> lock(shard->mutex);
    shard->lru.clear();
    shard->index.clear();
    shard->bytes = 0;
  }
}

CacheStore::Stats CacheStore::stats() const {
  Stats stats;
  for (const auto& shard : shards_) {
    std::lock_guard<std::mutex> lock(shard->mutex);
    stats.entries += shard->lru.size();
    stats.bytes += shard->bytes;
    stats.hits += shard->hits;
    stats.misses += shard->misses;
    stats.evictions += shard->evictions;
  }
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

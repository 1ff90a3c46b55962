// The cache service: stamped entries, shared values, keys, the memory bound.
#include <gtest/gtest.h>

#include "platform/cache_service.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "platform/runtime.h"
#include "test_support/error_matchers.h"
#include "tree/level_cache.h"

namespace lxm {
namespace {

Recordset Rows(int count, const std::string& text) {
  std::vector<Row> rows;
  for (int i = 0; i < count; ++i) rows.push_back({Variant(i), Variant(text)});
  return Recordset({{"FID", FieldType::kInteger}, {"FName", FieldType::kVarWChar}}, std::move(rows));
}

TEST(CacheKeyTest, FieldsCannotRunIntoEachOther) {
  CacheIdentity x1{"X1", "db"};
  CacheIdentity x12{"X12", "db"};
  CacheIdentity x{"X", "db"};
  CacheIdentity x5{"X5", "db"};
  EXPECT_NE(LevelCacheKey("TopClass", x1, 23), LevelCacheKey("TopClass", x12, 3));
  EXPECT_NE(LevelCacheKey("TopClass", x5, std::nullopt), LevelCacheKey("TopClass", x, 5));
  // The same UUID on two databases, and a UUID that spells a database.
  EXPECT_NE(LevelCacheKey("TopClass", CacheIdentity{"X1", "a.db"}, 23),
            LevelCacheKey("TopClass", CacheIdentity{"X1", "b.db"}, 23));
  EXPECT_NE(LevelCacheKey("TopClass", CacheIdentity{"", "X1"}, 23),
            LevelCacheKey("TopClass", CacheIdentity{"X1", ""}, 23));
  EXPECT_NE(LevelCacheGroup("chs"), LevelCacheGroup("en"));
  EXPECT_EQ(LevelCacheKey("SubFunc", x1, 7), LevelCacheKey("SubFunc", x1, 7));
}

TEST(CacheStoreTest, StampedEntriesAreMissesUnderAnotherStamp) {
  CacheStore store(CacheStore::kDefaultMaxBytes);
  std::string s1 = "0x0000000000000001";
  std::string s2 = "0x0000000000000002";
  store.Put("g", "k", Variant(Rows(3, "a")), s1);
  EXPECT_TRUE(store.Get("g", "k", &s1).has_value());
  EXPECT_FALSE(store.Get("g", "k", &s2).has_value());
  EXPECT_TRUE(store.Get("g", "k", nullptr).has_value());
  EXPECT_FALSE(store.Get("g", "other", nullptr).has_value());
  store.Remove("g", "k");
  EXPECT_FALSE(store.Get("g", "k", nullptr).has_value());
}

TEST(CacheStoreTest, RecordsetsAreSharedWithTheirOwnCursor) {
  CacheStore store(CacheStore::kDefaultMaxBytes);
  Recordset original = Rows(3, "a");
  store.Put("g", "k", Variant(original), "s");
  Variant first = *store.Get("g", "k", nullptr);
  Variant second = *store.Get("g", "k", nullptr);
  ASSERT_EQ(first.kind(), VariantKind::kRecordset);
  EXPECT_EQ(first.AsRecordset()->data(), original.data());  // the same rows
  EXPECT_NE(first.AsRecordset(), second.AsRecordset());     // separate cursors
  first.AsRecordset()->MoveNext();
  EXPECT_EQ(second.AsRecordset()->AbsolutePosition(), 1);
}

TEST(CacheStoreTest, CachedDictionariesCannotBeChangedByReaders) {
  CacheStore store(CacheStore::kDefaultMaxBytes);
  auto snapshot = Dictionary::Create();
  snapshot->Set("TimeStamp", "s1");
  store.Put("g", "k", Variant(snapshot), "");
  snapshot->Set("TimeStamp", "changed by the writer after storing");
  Variant got = *store.Get("g", "k", nullptr);
  got.AsDictionary()->Set("TimeStamp", "changed by a reader");
  EXPECT_EQ(store.Get("g", "k", nullptr)->AsDictionary()->Item("TimeStamp").AsString(), "s1");
}

TEST(CacheStoreTest, EvictsLeastRecentlyUsedBeyondTheBound) {
  // Room for a handful of 100-row entries.
  CacheStore store(100000);
  for (int i = 0; i < 400; ++i) {
    store.Put("g", "k" + std::to_string(i), Variant(Rows(100, "some text")), "");
    store.Get("g", "k0", nullptr);  // keeps k0 recent
  }
  CacheStore::Stats stats = store.stats();
  EXPECT_GT(stats.evictions, 0u);
  EXPECT_LE(stats.bytes, store.max_bytes());
  EXPECT_TRUE(store.Get("g", "k0", nullptr).has_value());
  EXPECT_TRUE(store.Get("g", "k399", nullptr).has_value());
  EXPECT_FALSE(store.Get("g", "k1", nullptr).has_value());
  // A value larger than the whole bound is not kept.
  store.Put("g", "huge", Variant(Rows(20000, std::string(100, 'x'))), "");
  EXPECT_FALSE(store.Get("g", "huge", nullptr).has_value());
  // A smaller bound drops the oldest entries at once.
  store.SetMaxBytes(store.stats().bytes / 2);
  EXPECT_LE(store.stats().bytes, store.max_bytes());
  EXPECT_TRUE(store.Get("g", "k0", nullptr).has_value());
}

TEST(CacheServiceTest, CreatedByProgIdAndMissingComponentFailsTheCreation) {
  Runtime runtime;
  std::shared_ptr<CacheService> cache = OpenCacheService(runtime);
  cache->Add("g", "k", Variant(1));
  EXPECT_EQ(OpenCacheService(runtime)->GetItem("g", "k").AsLong(), 1);  // one store per runtime
  runtime.components().Unregister(CacheService::kProgID);
  EXPECT_EQ(test::ErrorNumberOf([&] { OpenCacheService(runtime); }), errors::kCannotCreateObject);
}

}  // namespace
}  // namespace lxm

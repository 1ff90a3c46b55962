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

// The encoded text kept with cached rows counts in the bound from the moment
// it is made, in every entry that holds the rows, and goes with the entries.
TEST(CacheStoreTest, KeptTextOfCachedRowsCountsInTheBound) {
  const std::string text(50000, 't');
  auto encode = [&](const RecordsetData&) { return text; };
  CacheStore store(CacheStore::kDefaultMaxBytes);
  Recordset level = Rows(100, "a");
  store.Put("g", "one", Variant(level), "");
  store.Put("g", "two", Variant(level), "");  // the same rows under another key
  const size_t without_text = store.stats().bytes;
  std::shared_ptr<const std::string> kept = level.data()->Encoded(encode);
  const size_t with_text = store.stats().bytes;
  EXPECT_GE(with_text, without_text + 2 * text.size());
  EXPECT_LE(with_text, without_text + 2 * (text.size() + 1024));
  // Sent again from the kept text, and not counted again.
  EXPECT_EQ(level.data()->Encoded([](const RecordsetData&) { return std::string("again"); }), kept);
  EXPECT_EQ(store.stats().bytes, with_text);
  // Rows stored after their text was made count it at once.
  store.Put("g", "three", Variant(level), "");
  EXPECT_GE(store.stats().bytes, with_text + (with_text - without_text) / 2);
  // Replaced and removed entries give everything back.
  store.Put("g", "one", Variant(Rows(1, "b")), "");
  store.Remove("g", "one");
  store.Remove("g", "two");
  store.Remove("g", "three");
  EXPECT_EQ(store.stats().bytes, 0u);

  // A bound with room for both entries and the text less half the older
  // entry drops that one once the newer one's text is made.
  Recordset older = Rows(100, "b");
  Recordset newer = Rows(100, "c");
  store.Put("g", "older", Variant(older), "");
  const size_t older_bytes = store.stats().bytes;
  store.Put("g", "newer", Variant(newer), "");
  store.SetMaxBytes(store.stats().bytes + text.size() - older_bytes / 2);
  const uint64_t evictions = store.stats().evictions;
  newer.data()->Encoded(encode);
  EXPECT_EQ(store.stats().evictions, evictions + 1);
  EXPECT_LE(store.stats().bytes, store.max_bytes());
  EXPECT_FALSE(store.Get("g", "older", nullptr).has_value());
  EXPECT_TRUE(store.Get("g", "newer", nullptr).has_value());

  // Rows that outlive their store are encoded as any others.
  Recordset orphan = Rows(10, "d");
  {
    CacheStore gone(CacheStore::kDefaultMaxBytes);
    gone.Put("g", "k", Variant(orphan), "");
  }
  EXPECT_EQ(*orphan.data()->Encoded(encode), text);
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

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/com_error.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "platform/variant.h"
#include "test_support/error_matchers.h"

namespace lxm {
namespace {

using test::ErrorNumberOf;

class Widget : public Object {};

TEST(VariantTest, KnowsItsKind) {
  struct Case {
    Variant value;
    VariantKind kind;
    const char* name;
    bool is_object;
    bool is_nothing;
  };
  const std::vector<Case> cases = {
      {Variant(), VariantKind::kEmpty, "Empty", false, true},
      {Variant::Null(), VariantKind::kNull, "Null", false, false},
      {Variant(false), VariantKind::kBoolean, "Boolean", false, false},
      {Variant(0), VariantKind::kLong, "Long", false, false},
      {Variant(0.0), VariantKind::kDouble, "Double", false, false},
      {Variant(""), VariantKind::kString, "String", false, false},
      {Variant(std::string_view("x")), VariantKind::kString, "String", false, false},
      {Variant(Bytes{}), VariantKind::kBytes, "Byte()", false, false},
      {Variant(Dictionary::Create()), VariantKind::kDictionary, "Dictionary", true, false},
      {Variant(std::shared_ptr<Dictionary>()), VariantKind::kDictionary, "Dictionary", true,
       true},
      {Variant(Vector::Create()), VariantKind::kVector, "Vector", true, false},
      {Variant(Recordset()), VariantKind::kRecordset, "Recordset", true, false},
      {Variant(std::shared_ptr<Recordset>()), VariantKind::kRecordset, "Recordset", true, true},
      {Variant(std::shared_ptr<Object>(std::make_shared<Widget>())), VariantKind::kObject,
       "Object", true, false},
      {Variant(std::shared_ptr<Object>()), VariantKind::kObject, "Object", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value.kind(), c.kind);
    EXPECT_EQ(KindName(c.value.kind()), c.name);
    EXPECT_EQ(c.value.IsObject(), c.is_object);
    EXPECT_EQ(c.value.IsNothing(), c.is_nothing);
    EXPECT_EQ(c.value.IsEmpty(), c.kind == VariantKind::kEmpty);
    EXPECT_EQ(c.value.IsNull(), c.kind == VariantKind::kNull);
  }
}

TEST(VariantTest, CheckedGettersNeverConvert) {
  // Each value is asked for every kind it is not; each must raise 13.
  const std::vector<std::pair<Variant, VariantKind>> values = {
      {Variant(), VariantKind::kEmpty},        {Variant::Null(), VariantKind::kNull},
      {Variant(true), VariantKind::kBoolean},  {Variant(1), VariantKind::kLong},
      {Variant(1.0), VariantKind::kDouble},    {Variant("1"), VariantKind::kString},
      {Variant(Bytes{1}), VariantKind::kBytes},
      {Variant(Dictionary::Create()), VariantKind::kDictionary},
      {Variant(Vector::Create()), VariantKind::kVector},
      {Variant(Recordset()), VariantKind::kRecordset},
      {Variant(std::shared_ptr<Object>(std::make_shared<Widget>())), VariantKind::kObject},
  };
  const std::vector<std::pair<VariantKind, std::function<void(const Variant&)>>> getters = {
      {VariantKind::kBoolean, [](const Variant& v) { v.AsBool(); }},
      {VariantKind::kLong, [](const Variant& v) { v.AsLong(); }},
      {VariantKind::kDouble, [](const Variant& v) { v.AsDouble(); }},
      {VariantKind::kString, [](const Variant& v) { v.AsString(); }},
      {VariantKind::kBytes, [](const Variant& v) { v.AsBytes(); }},
      {VariantKind::kDictionary, [](const Variant& v) { v.AsDictionary(); }},
      {VariantKind::kVector, [](const Variant& v) { v.AsVector(); }},
      {VariantKind::kRecordset, [](const Variant& v) { v.AsRecordset(); }},
      {VariantKind::kObject, [](const Variant& v) { v.AsObject(); }},
  };
  for (const auto& [value, kind] : values) {
    for (const auto& [getter_kind, getter] : getters) {
      SCOPED_TRACE(std::string(KindName(kind)) + " read as " +
                   std::string(KindName(getter_kind)));
      std::optional<ComError> error = test::ErrorOf([&] { getter(value); });
      if (kind == getter_kind) {
        EXPECT_FALSE(error.has_value());
      } else {
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->number(), errors::kTypeMismatch);
        EXPECT_EQ(error->source(), "LXMDataFlow");
      }
    }
  }
}

TEST(VariantTest, GettersReturnTheStoredValue) {
  EXPECT_TRUE(Variant(true).AsBool());
  EXPECT_EQ(Variant(-5).AsLong(), -5);
  EXPECT_EQ(Variant(2.25).AsDouble(), 2.25);
  EXPECT_EQ(Variant("text").AsString(), "text");
  EXPECT_EQ(Variant(Bytes{1, 2}).AsBytes(), (Bytes{1, 2}));
  Variant number(3);
  ASSERT_NE(number.TryGet<int32_t>(), nullptr);
  EXPECT_EQ(*number.TryGet<int32_t>(), 3);
  EXPECT_EQ(number.TryGet<double>(), nullptr);
}

TEST(VariantTest, ObjectsAreSharedNotCopied) {
  std::shared_ptr<Dictionary> dictionary = Dictionary::Create();
  Variant first(dictionary);
  Variant second = first;
  second.AsDictionary()->Set("k", Variant(1));
  EXPECT_EQ(first.AsDictionary()->Count(), 1);
  EXPECT_EQ(first.AsDictionary().get(), dictionary.get());
}

TEST(VariantTest, EqualityNeedsSameKindAndObjectsCompareByIdentity) {
  EXPECT_EQ(Variant(1), Variant(1));
  EXPECT_FALSE(Variant(1) == Variant(1.0));
  EXPECT_FALSE(Variant(1) == Variant("1"));
  EXPECT_FALSE(Variant("a") == Variant("A"));
  EXPECT_EQ(Variant(), Variant());
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_FALSE(Variant() == Variant::Null());
  std::shared_ptr<Dictionary> dictionary = Dictionary::Create();
  EXPECT_EQ(Variant(dictionary), Variant(dictionary));
  EXPECT_FALSE(Variant(Dictionary::Create()) == Variant(Dictionary::Create()));
}

TEST(VariantTest, FromInt64KeepsLongUntilThirtyTwoBitsAreExceeded) {
  struct Case {
    int64_t input;
    VariantKind kind;
  };
  const std::vector<Case> cases = {
      {0, VariantKind::kLong},
      {2147483647, VariantKind::kLong},
      {-2147483648LL, VariantKind::kLong},
      {2147483648LL, VariantKind::kDouble},
      {-2147483649LL, VariantKind::kDouble},
      {int64_t{1} << 52, VariantKind::kDouble},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    Variant value = Variant::FromInt64(c.input);
    ASSERT_EQ(value.kind(), c.kind);
    if (c.kind == VariantKind::kLong) {
      EXPECT_EQ(value.AsLong(), c.input);
    } else {
      EXPECT_EQ(value.AsDouble(), static_cast<double>(c.input));
    }
  }
}

std::vector<std::string> KeysOf(const Dictionary& dictionary) {
  std::vector<std::string> keys;
  for (int32_t i = 1; i <= dictionary.Count(); ++i) keys.push_back(dictionary.KeyAt(i));
  return keys;
}

TEST(DictionaryTest, KeepsInsertionOrderAndReplacesInPlace) {
  Dictionary dictionary;
  dictionary.Set("b", Variant(1));
  dictionary.Set("a", Variant(2));
  dictionary.Set("c", Variant(3));
  EXPECT_EQ(KeysOf(dictionary), (std::vector<std::string>{"b", "a", "c"}));

  dictionary.Set("a", Variant("new"));
  EXPECT_EQ(dictionary.Count(), 3);
  EXPECT_EQ(KeysOf(dictionary), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(dictionary.Item("a"), Variant("new"));
  ASSERT_EQ(dictionary.entries().size(), 3u);
  EXPECT_EQ(dictionary.entries()[1].second, Variant("new"));
}

TEST(DictionaryTest, KeysAreCaseSensitive) {
  Dictionary dictionary;
  dictionary.Set("Key", Variant(1));
  EXPECT_TRUE(dictionary.Exists("Key"));
  EXPECT_FALSE(dictionary.Exists("key"));
  dictionary.Set("key", Variant(2));
  EXPECT_EQ(dictionary.Count(), 2);
  EXPECT_EQ(dictionary.Item("Key"), Variant(1));
}

TEST(DictionaryTest, PositionAndMissingKeyErrors) {
  Dictionary dictionary;
  EXPECT_EQ(ErrorNumberOf([&] { dictionary.KeyAt(1); }), errors::kSubscriptOutOfRange);
  dictionary.Set("only", Variant(1));
  EXPECT_EQ(dictionary.KeyAt(1), "only");
  EXPECT_EQ(ErrorNumberOf([&] { dictionary.KeyAt(0); }), errors::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] { dictionary.KeyAt(2); }), errors::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] { dictionary.Item("missing"); }), errors::kInvalidCall);
}

TEST(DictionaryTest, LookupAndValueOrTolerateMissingKeys) {
  Dictionary dictionary;
  dictionary.Set("present", Variant(7));

  Variant value("untouched");
  EXPECT_FALSE(dictionary.Lookup("absent", &value));
  EXPECT_EQ(value, Variant("untouched"));
  EXPECT_TRUE(dictionary.Lookup("present", &value));
  EXPECT_EQ(value, Variant(7));

  EXPECT_EQ(dictionary.ValueOr("present", Variant(0)), Variant(7));
  EXPECT_EQ(dictionary.ValueOr("absent", Variant(0)), Variant(0));
  // A stored Empty is a value, not an absence.
  dictionary.Set("empty", Variant());
  EXPECT_EQ(dictionary.ValueOr("empty", Variant(0)), Variant());
}

TEST(DictionaryTest, RemoveKeepsTheOthersOrderAndLookups) {
  Dictionary dictionary;
  for (const char* key : {"a", "b", "c", "d"}) dictionary.Set(key, Variant(key));

  EXPECT_TRUE(dictionary.Remove("b"));
  EXPECT_FALSE(dictionary.Remove("b"));
  EXPECT_FALSE(dictionary.Exists("b"));
  EXPECT_EQ(KeysOf(dictionary), (std::vector<std::string>{"a", "c", "d"}));
  // Keys after the removed one still find their own values.
  EXPECT_EQ(dictionary.Item("c"), Variant("c"));
  EXPECT_EQ(dictionary.Item("d"), Variant("d"));
  dictionary.Set("c", Variant("C"));
  EXPECT_EQ(dictionary.KeyAt(2), "c");
  EXPECT_EQ(dictionary.entries()[1].second, Variant("C"));

  // A key added again goes to the end.
  dictionary.Set("b", Variant("again"));
  EXPECT_EQ(KeysOf(dictionary), (std::vector<std::string>{"a", "c", "d", "b"}));
  EXPECT_TRUE(dictionary.Remove("a"));
  EXPECT_TRUE(dictionary.Remove("b"));
  EXPECT_EQ(KeysOf(dictionary), (std::vector<std::string>{"c", "d"}));
  EXPECT_EQ(dictionary.Item("d"), Variant("d"));
}

TEST(VectorTest, IsOneBased) {
  Vector vector;
  EXPECT_EQ(ErrorNumberOf([&] { vector.Item(1); }), errors::kSubscriptOutOfRange);
  vector.Append(Variant("first"));
  vector.Append(Variant(2));
  EXPECT_EQ(vector.Count(), 2);
  EXPECT_EQ(vector.Item(1), Variant("first"));
  EXPECT_EQ(vector.Item(2), Variant(2));
  EXPECT_EQ(ErrorNumberOf([&] { vector.Item(0); }), errors::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] { vector.Item(3); }), errors::kSubscriptOutOfRange);
}

}  // namespace
}  // namespace lxm

#include "platform/recordset.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/com_error.h"
#include "test_support/error_matchers.h"

namespace lxm {
namespace {

using test::ErrorNumberOf;

Recordset Items() {
  return Recordset(
      {{"ID", FieldType::kInteger}, {"Name", FieldType::kVarWChar}, {"Price", FieldType::kDouble}},
      {
          {Variant(1), Variant("Widget"), Variant(1.0)},
          {Variant(2), Variant("Gadget"), Variant(2.5)},
          {Variant(3), Variant("WIDGET"), Variant(1.0)},
          {Variant(4), Variant::Null(), Variant(7.0)},
      });
}

std::vector<int32_t> IdsFromCursor(Recordset recordset) {
  std::vector<int32_t> ids;
  for (; !recordset.Eof(); recordset.MoveNext()) ids.push_back(recordset.Value("ID").AsLong());
  return ids;
}

TEST(RecordsetTest, CopiesShareRowsButNotTheCursor) {
  Recordset original = Items();
  Recordset copy = original;
  EXPECT_EQ(copy.data().get(), original.data().get());

  copy.MoveNext();
  copy.MoveNext();
  EXPECT_EQ(copy.Value("ID"), Variant(3));
  EXPECT_EQ(original.Value("ID"), Variant(1));
  EXPECT_EQ(original.AbsolutePosition(), 1);

  // A Variant made from a Recordset gets its own cursor over the same rows.
  Variant held(copy);
  EXPECT_EQ(held.AsRecordset()->data().get(), original.data().get());
  held.AsRecordset()->MoveNext();
  EXPECT_EQ(copy.AbsolutePosition(), 3);
  EXPECT_EQ(held.AsRecordset()->AbsolutePosition(), 4);
}

TEST(RecordsetTest, EmptyRecordsetIsAtBofAndEof) {
  for (const Recordset& empty :
       {Recordset(), Recordset({{"ID", FieldType::kInteger}}, {})}) {
    EXPECT_TRUE(empty.Eof());
    EXPECT_TRUE(empty.Bof());
    EXPECT_EQ(empty.RecordCount(), 0);
    EXPECT_EQ(empty.AbsolutePosition(), 0);
    EXPECT_EQ(ErrorNumberOf([&] { empty.CurrentRow(); }), errors::kNoCurrentRecord);
  }
  Recordset empty({{"ID", FieldType::kInteger}}, {});
  EXPECT_EQ(ErrorNumberOf([&] { empty.Value("ID"); }), errors::kNoCurrentRecord);
  EXPECT_EQ(ErrorNumberOf([&] { empty.MoveNext(); }), errors::kNoCurrentRecord);
}

TEST(RecordsetTest, CursorWalksRowsInOrderAndStopsAtEof) {
  Recordset recordset = Items();
  EXPECT_FALSE(recordset.Eof());
  EXPECT_FALSE(recordset.Bof());
  EXPECT_EQ(recordset.RecordCount(), 4);
  EXPECT_EQ(IdsFromCursor(recordset), (std::vector<int32_t>{1, 2, 3, 4}));

  for (int i = 0; i < 4; ++i) recordset.MoveNext();
  EXPECT_TRUE(recordset.Eof());
  EXPECT_FALSE(recordset.Bof());
  EXPECT_EQ(recordset.AbsolutePosition(), 0);
  EXPECT_EQ(ErrorNumberOf([&] { recordset.MoveNext(); }), errors::kNoCurrentRecord);
  EXPECT_EQ(ErrorNumberOf([&] { recordset.Value("ID"); }), errors::kNoCurrentRecord);

  recordset.MoveFirst();
  EXPECT_EQ(recordset.AbsolutePosition(), 1);
  EXPECT_EQ(recordset.Value("ID"), Variant(1));
}

TEST(RecordsetTest, FieldLookupIgnoresCase) {
  Recordset recordset = Items();
  EXPECT_EQ(recordset.FieldIndex("price"), 2);
  EXPECT_EQ(recordset.FieldIndex("PRICE"), 2);
  EXPECT_EQ(recordset.FieldIndex("Cost"), -1);
  EXPECT_EQ(recordset.Value("name"), Variant("Widget"));
  EXPECT_EQ(recordset.Value("NAME"), Variant("Widget"));
  EXPECT_EQ(recordset.Value(size_t{2}), Variant(1.0));
  // The spelling given when the recordset was made is kept.
  EXPECT_EQ(recordset.Fields()[1].name, "Name");

  EXPECT_EQ(ErrorNumberOf([&] { recordset.Value("Cost"); }), errors::kItemNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { recordset.Value(size_t{3}); }), errors::kItemNotFound);
}

TEST(RecordsetTest, FilterComparesTextIgnoringCaseAndNumbersByValue) {
  struct Case {
    const char* field;
    Variant value;
    std::vector<int32_t> ids;
  };
  const std::vector<Case> cases = {
      {"Name", Variant("widget"), {1, 3}},
      {"name", Variant("GADGET"), {2}},
      {"Name", Variant("Widge"), {}},
      {"ID", Variant(2.0), {2}},
      {"ID", Variant("3"), {3}},
      {"Price", Variant(1), {1, 3}},
      {"Price", Variant("2.5"), {2}},
      {"Name", Variant(1), {}},
      {"Name", Variant::Null(), {4}},
  };
  Recordset recordset = Items();
  recordset.MoveNext();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " = " +
                 (c.value.IsNull() ? std::string("Null") : std::string(KindName(c.value.kind()))));
    Recordset filtered = recordset.Filter(c.field, c.value);
    EXPECT_EQ(filtered.RecordCount(), static_cast<int32_t>(c.ids.size()));
    if (c.ids.empty()) {
      EXPECT_TRUE(filtered.Eof());
      EXPECT_TRUE(filtered.Bof());
    } else {
      // The result stands on its first row.
      EXPECT_EQ(filtered.AbsolutePosition(), 1);
      EXPECT_EQ(filtered.Value("ID"), Variant(c.ids.front()));
    }
    EXPECT_EQ(IdsFromCursor(filtered), c.ids);
  }
  // The source keeps its rows and its cursor.
  EXPECT_EQ(recordset.RecordCount(), 4);
  EXPECT_EQ(recordset.AbsolutePosition(), 2);
  EXPECT_EQ(ErrorNumberOf([&] { recordset.Filter("Cost", Variant(1)); }),
            errors::kItemNotFound);
}

TEST(FieldTypeTest, NamesRoundTrip) {
  for (FieldType type : {FieldType::kEmpty, FieldType::kSmallInt, FieldType::kInteger,
                         FieldType::kDouble, FieldType::kBoolean, FieldType::kBigInt,
                         FieldType::kBinary, FieldType::kVarWChar, FieldType::kVarBinary}) {
    std::string_view name = FieldTypeName(type);
    SCOPED_TRACE(name);
    FieldType read_back = FieldType::kEmpty;
    ASSERT_TRUE(FieldTypeFromName(name, &read_back));
    EXPECT_EQ(read_back, type);
  }
  EXPECT_EQ(FieldTypeName(FieldType::kVarWChar), "VarWChar");
  EXPECT_EQ(FieldTypeName(FieldType::kInteger), "Integer");

  FieldType type = FieldType::kDouble;
  EXPECT_TRUE(FieldTypeFromName("varwchar", &type));
  EXPECT_EQ(type, FieldType::kVarWChar);
  type = FieldType::kDouble;
  EXPECT_FALSE(FieldTypeFromName("Currency", &type));
  EXPECT_EQ(type, FieldType::kDouble);
}

}  // namespace
}  // namespace lxm

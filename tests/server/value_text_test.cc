#include "server/value_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/dictionary.h"
#include "platform/recordset.h"

namespace lxm::server {
namespace {

TEST(ValueTextTest, MeasuresDisplayWidth) {
  EXPECT_EQ(DisplayWidth("Finance"), 7u);
  EXPECT_EQ(DisplayWidth("财务核算"), 8u);
  EXPECT_EQ(DisplayWidth("財務 A"), 6u);
  EXPECT_EQ(DisplayWidth("Ｆ"), 2u);  // full-width letter
  EXPECT_EQ(DisplayWidth("é"), 1u);
  EXPECT_EQ(DisplayWidth(""), 0u);
}

TEST(ValueTextTest, PrintsScalarsPlainly) {
  struct Case {
    Variant value;
    const char* text;
  };
  const Case cases[] = {
      {Variant(42), "42"},          {Variant(2.5), "2.5"},
      {Variant(true), "True"},      {Variant::Null(), "Null"},
      {Variant(), "Empty"},         {Variant("two\nlines"), "two\\nlines"},
      {Variant(Bytes{1, 2}), "<2 bytes, base64 AQI=>"}, {Variant("red\x1b[31m"), "red\\x1B[31m"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatScalar(c.value), c.text);
  }
}

TEST(ValueTextTest, AlignsTableColumnsByDisplayWidth) {
  Recordset level({{"FID", FieldType::kInteger}, {"FName", FieldType::kVarWChar}, {"FHelp", FieldType::kVarWChar}},
                  {{Variant(1001), Variant("总账"), Variant::Null()},
                   {Variant(7), Variant("Ledger accounting"), Variant("GL")}});
  EXPECT_EQ(FormatTable(level, 2),
            "  FID   FName              FHelp\n"
            "  ----  -----------------  -----\n"
            "  1001  总账               Null\n"
            "  7     Ledger accounting  GL\n"
            "  (2 rows)\n");
  EXPECT_EQ(FormatTable(Recordset({{"FID", FieldType::kInteger}}, {})), "FID\n---\n(0 rows)\n");
}

TEST(ValueTextTest, PrintsContainersAsIndentedTrees) {
  auto inner = Dictionary::Create();
  inner->Set("UserID", Variant(16394));
  auto list = Vector::Create();
  list->Append(Variant("a"));
  list->Append(Variant(inner));
  auto outer = Dictionary::Create();
  outer->Set("TimeStamp", Variant("0x0000000000000001"));
  outer->Set("Stamps", Variant(inner));
  outer->Set("List", Variant(list));
  outer->Set("TopClass", Variant(Recordset({{"FID", FieldType::kInteger}}, {{Variant(1)}})));
  outer->Set("Missing", Variant(std::shared_ptr<Dictionary>()));
  EXPECT_EQ(FormatValue(Variant(outer)),
            "TimeStamp: 0x0000000000000001\n"
            "Stamps:\n"
            "  UserID: 16394\n"
            "List:\n"
            "  [1] a\n"
            "  [2]\n"
            "    UserID: 16394\n"
            "TopClass:\n"
            "  FID\n"
            "  ---\n"
            "  1\n"
            "  (1 row)\n"
            "Missing: Nothing\n");
}

}  // namespace
}  // namespace lxm::server

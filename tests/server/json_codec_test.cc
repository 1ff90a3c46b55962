#include "server/json_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "server/same_value.h"

namespace lxm::server {
namespace {

using test::SameValue;

std::shared_ptr<Dictionary> Dict(std::vector<std::pair<std::string, Variant>> entries) {
  auto dictionary = Dictionary::Create();
  for (auto& [key, value] : entries) dictionary->Set(key, std::move(value));
  return dictionary;
}

std::shared_ptr<Vector> Vec(std::vector<Variant> items) {
  auto vector = Vector::Create();
  for (auto& item : items) vector->Append(std::move(item));
  return vector;
}

// A level as the tree listings return it: mixed field types, Nulls, text in
// three languages, rows out of ID order.
Recordset SampleLevel() {
  return Recordset({{"FSubSysID", FieldType::kInteger},
                    {"FName", FieldType::kVarWChar},
                    {"FName_CHT", FieldType::kVarWChar},
                    {"FRate", FieldType::kDouble},
                    {"FVisible", FieldType::kBoolean},
                    {"FIcon", FieldType::kVarBinary},
                    {"FBig", FieldType::kBigInt}},
                   {{Variant(1006), Variant("网上银行"), Variant("網上銀行"), Variant(0.5), Variant(true),
                     Variant(Bytes{0, 255, 10}), Variant::FromInt64(int64_t{1} << 40)},
                    {Variant(1001), Variant("Ledger \"A\"\n"), Variant::Null(), Variant::Null(),
                     Variant(false), Variant::Null(), Variant(7)},
                    {Variant(2003), Variant(""), Variant("x"), Variant(-3.0), Variant::Null(),
                     Variant(Bytes{}), Variant::Null()}});
}

TEST(JsonCodecTest, EveryKindSurvivesARoundTrip) {
  struct Case {
    const char* name;
    Variant value;
  };
  const Case cases[] = {
      {"empty", Variant()},
      {"null", Variant::Null()},
      {"true", Variant(true)},
      {"false", Variant(false)},
      {"long", Variant(42)},
      {"long min", Variant(std::numeric_limits<int32_t>::min())},
      {"long max", Variant(std::numeric_limits<int32_t>::max())},
      {"double with fraction", Variant(2.5)},
      {"integral double", Variant(3.0)},
      {"negative zero", Variant(-0.0)},
      {"tiny double", Variant(1e-300)},
      {"huge double", Variant(1.7976931348623157e308)},
      {"double past 32 bits", Variant(4294967296.0)},
      {"text", Variant("财务核算 / 財務核算 / Finance")},
      {"text needing escapes", Variant(std::string("q\"b\\s/\b\f\n\r\t\x01\x1f end"))},
      {"empty text", Variant("")},
      {"bytes", Variant(Bytes{0, 1, 2, 127, 128, 254, 255})},
      {"bytes one", Variant(Bytes{0xAB})},
      {"bytes two", Variant(Bytes{0xAB, 0xCD})},
      {"no bytes", Variant(Bytes{})},
      {"dictionary in insertion order", Variant(Dict({{"zeta", Variant(1)}, {"alpha", Variant(2)},
                                                      {"Mid", Variant::Null()}, {"mid", Variant()}}))},
      {"empty dictionary", Variant(Dictionary::Create())},
      {"dictionary with one $ key", Variant(Dict({{"$recordset", Variant(1)}}))},
      {"dictionary with an empty key", Variant(Dict({{"", Variant("blank")}}))},
      {"vector", Variant(Vec({Variant(1), Variant("two"), Variant::Null(), Variant(Vec({}))}))},
      {"recordset", Variant(SampleLevel())},
      {"recordset without rows", Variant(Recordset({{"FID", FieldType::kInteger}}, {}))},
      {"recordset without fields", Variant(Recordset())},
      {"nested containers",
       Variant(Dict({{"levels", Variant(Vec({Variant(SampleLevel()), Variant(Dict({{"k", Variant(Bytes{9})}}))}))},
                     {"stamp", Variant("0x0000000000000001")}}))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = EncodeValue(c.value);
    // Whatever the encoder writes must be JSON any parser takes.
    ASSERT_TRUE(nlohmann::ordered_json::accept(text)) << text;
    Variant back = ParseValue(text);
    EXPECT_TRUE(SameValue(c.value, back)) << text;
    EXPECT_EQ(EncodeValue(back), text);
  }
}

TEST(JsonCodecTest, WritesTheDocumentedForms) {
  struct Case {
    const char* name;
    Variant value;
    const char* json;
  };
  const Case cases[] = {
      {"null", Variant::Null(), "null"},
      {"empty", Variant(), R"({"$empty":true})"},
      {"long", Variant(-7), "-7"},
      {"integral double keeps a fraction", Variant(3.0), "3.0"},
      {"double", Variant(0.1), "0.1"},
      {"big double", Variant(1e21), "1e+21"},
      {"not finite", Variant(std::numeric_limits<double>::infinity()), "null"},
      {"bytes", Variant(Bytes{'h', 'i', '!'}), R"({"$bytes":"aGkh"})"},
      {"bytes padded", Variant(Bytes{'h', 'i'}), R"({"$bytes":"aGk="})"},
      {"dictionary", Variant(Dict({{"b", Variant(1)}, {"a", Variant(true)}})), R"({"b":1,"a":true})"},
      {"one $ key", Variant(Dict({{"$bytes", Variant(1)}})), R"({"$dictionary":{"$bytes":1}})"},
      {"nothing", Variant(std::shared_ptr<Dictionary>()), "null"},
      {"control character", Variant(std::string("a\x01")), R"("a\u0001")"},
      {"invalid UTF-8 replaced", Variant(std::string("a\xff\xc3(b")), "\"a\xEF\xBF\xBD\xEF\xBF\xBD(b\""},
      {"recordset",
       Variant(Recordset({{"FID", FieldType::kInteger}, {"FName", FieldType::kVarWChar}},
                         {{Variant(1), Variant::Null()}})),
       R"({"$recordset":{"fields":[{"name":"FID","type":"Integer"},{"name":"FName","type":"VarWChar"}],"rows":[[1,null]]}})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EncodeValue(c.value), c.json);
  }
}

TEST(JsonCodecTest, ReadsNumbersByTheirSize) {
  struct Case {
    const char* json;
    VariantKind kind;
    double value;
  };
  const Case cases[] = {
      {"2147483647", VariantKind::kLong, 2147483647},
      {"-2147483648", VariantKind::kLong, -2147483648.0},
      {"2147483648", VariantKind::kDouble, 2147483648.0},
      {"-2147483649", VariantKind::kDouble, -2147483649.0},
      {"3000000000", VariantKind::kDouble, 3e9},
      {"18446744073709551615", VariantKind::kDouble, 18446744073709551615.0},
      {"2.5", VariantKind::kDouble, 2.5},
      {"2.0", VariantKind::kDouble, 2.0},
      {"1e3", VariantKind::kDouble, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    Variant value = ParseValue(c.json);
    ASSERT_EQ(value.kind(), c.kind);
    EXPECT_EQ(c.kind == VariantKind::kLong ? value.AsLong() : value.AsDouble(), c.value);
  }
}

TEST(JsonCodecTest, RecordsetKeepsFieldsTypesNullsAndRowOrder) {
  Variant back = ParseValue(EncodeValue(Variant(SampleLevel())));
  const Recordset& level = *back.AsRecordset();
  ASSERT_EQ(level.Fields().size(), 7u);
  EXPECT_EQ(level.Fields()[1].name, "FName");
  EXPECT_EQ(level.Fields()[4].type, FieldType::kBoolean);
  EXPECT_EQ(level.Fields()[6].type, FieldType::kBigInt);
  ASSERT_EQ(level.RecordCount(), 3);
  std::vector<int32_t> ids;
  for (const Row& row : level.Rows()) ids.push_back(row[0].AsLong());
  EXPECT_EQ(ids, (std::vector<int32_t>{1006, 1001, 2003}));
  EXPECT_TRUE(level.Rows()[1][2].IsNull());
  EXPECT_EQ(level.Rows()[0][5].AsBytes(), (Bytes{0, 255, 10}));
  // A fresh recordset stands on its first row, as one from a query does.
  EXPECT_FALSE(level.Eof());
  EXPECT_EQ(level.Value("FSubSysID").AsLong(), 1006);
}

TEST(JsonCodecTest, ReadsFieldTypesByNameOrAdoNumber) {
  Variant value = ParseValue(
      R"({"$recordset":{"fields":[{"name":"A","type":"integer"},{"name":"B","type":202}],"rows":[]}})");
  const Recordset& recordset = *value.AsRecordset();
  EXPECT_EQ(recordset.Fields()[0].type, FieldType::kInteger);
  EXPECT_EQ(recordset.Fields()[1].type, FieldType::kVarWChar);
}

// What ExportUserData hands out must be accepted back by ImportUserData as
// it came: a stamp dictionary with one recordset per level.
TEST(JsonCodecTest, ExportContainerComesBackUnchanged) {
  auto container = Dict({{"TimeStamp", Variant("0x00000000000007D1")},
                         {"UserTimeStamp", Variant("0x00000000000007D3")},
                         {"UserID", Variant(16394)},
                         {"TopClass", Variant(Recordset({{"FTopClassID", FieldType::kInteger}},
                                                        {{Variant(1)}, {Variant(1000)}}))},
                         {"SubSystem", Variant(SampleLevel())},
                         {"SubFunc", Variant(Recordset({{"FSubFuncID", FieldType::kInteger}}, {}))},
                         {"DetailFunc", Variant(Recordset({{"FDetailFuncID", FieldType::kInteger},
                                                           {"FHelpCode", FieldType::kVarWChar}},
                                                          {{Variant(100101), Variant::Null()}}))}});
  std::string sent = EncodeValue(Variant(container));
  // The client sends the reply's value back inside a request, untouched.
  nlohmann::ordered_json request = nlohmann::ordered_json::parse(R"({"args": ["dsn", )" + sent + "]}");
  Variant received = DecodeValue(request["args"][1]);
  EXPECT_TRUE(SameValue(Variant(container), received));
  EXPECT_EQ(received.AsDictionary()->KeyAt(4), "TopClass");
}

TEST(JsonCodecTest, RefusesWhatNamesNoValue) {
  const char* cases[] = {
      "{\"a\": ",
      "",
      "nul",
      R"({"$bogus": 1})",
      R"({"$recordSet": {"fields": []}})",
      R"({"$bytes": 5})",
      R"({"$bytes": "a"})",
      R"({"$bytes": "ab!d"})",
      R"({"$dictionary": [1]})",
      R"({"$recordset": {"rows": []}})",
      R"({"$recordset": {"fields": [{"name": "A"}]}})",
      R"({"$recordset": {"fields": [{"name": "A", "type": "Currency"}]}})",
      R"({"$recordset": {"fields": [{"name": "A", "type": 6}]}})",
      R"({"$recordset": {"fields": [{"name": "A", "type": "Integer"}], "rows": [[1, 2]]}})",
      R"({"$recordset": {"fields": [{"name": "A", "type": "Integer"}], "rows": [[[1]]]}})",
      R"({"$recordset": {"fields": [{"name": "A", "type": "Integer"}], "rows": [[{"k": 1}]]}})",
      R"({"$recordset": {"fields": [{"name": "A", "type": "Integer"}], "rows": 3}})",
  };
  for (const char* json : cases) {
    SCOPED_TRACE(json);
    EXPECT_THROW(ParseValue(json), DecodeError);
  }
}

TEST(JsonCodecTest, NestingIsBounded) {
  std::string deep_ok(kMaxNestingDepth, '[');
  deep_ok += std::string(kMaxNestingDepth, ']');
  EXPECT_NO_THROW(ParseValue(deep_ok));
  std::string too_deep(kMaxNestingDepth + 1, '[');
  too_deep += std::string(kMaxNestingDepth + 1, ']');
  EXPECT_THROW(ParseValue(too_deep), DecodeError);

  // A container that holds itself cannot be written.
  auto loop = Dictionary::Create();
  loop->Set("self", Variant(loop));
  EXPECT_THROW(EncodeValue(Variant(loop)), std::runtime_error);
  loop->Remove("self");  // breaks the cycle
}

TEST(JsonCodecTest, SharedRowsAreEncodedOnce) {
  Recordset level = SampleLevel();
  Recordset copy = level;  // another caller's cursor over the same rows
  copy.MoveNext();
  std::shared_ptr<const std::string> first = EncodedRecordset(level);
  std::shared_ptr<const std::string> second = EncodedRecordset(copy);
  EXPECT_EQ(first.get(), second.get());
  // The cursor does not change what is sent.
  EXPECT_EQ(EncodeValue(Variant(copy)), *first);
  Recordset other = SampleLevel();
  EXPECT_NE(EncodedRecordset(other).get(), first.get());
  EXPECT_EQ(*EncodedRecordset(other), *first);
}

TEST(JsonCodecTest, Base64MatchesTheStandardAlphabet) {
  struct Case {
    const char* text;
    const char* base64;
  };
  // RFC 4648 test vectors.
  const Case cases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                        {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                        {"foobar", "Zm9vYmFy"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Bytes bytes(c.text, c.text + std::char_traits<char>::length(c.text));
    EXPECT_EQ(EncodeBase64(bytes), c.base64);
    EXPECT_EQ(DecodeBase64(c.base64), bytes);
  }
  EXPECT_EQ(DecodeBase64("Zm8"), (Bytes{'f', 'o'}));  // padding left out
  EXPECT_THROW(DecodeBase64("Zm9v=A=="), DecodeError);
}

}  // namespace
}  // namespace lxm::server

#include "server/arguments.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/com_error.h"
#include "platform/dictionary.h"
#include "platform/recordset.h"
#include "server/json_codec.h"
#include "server/request_error.h"
#include "test_support/error_matchers.h"

namespace lxm::server {
namespace {

// What one JSON argument becomes for a parameter of each type: the value,
// an automation error number, or a refusal (HTTP 400).
struct Case {
  ValueType type;
  const char* json;
  Variant expected;     // when neither error_number nor refused
  int32_t error_number;  // automation error the conversion raises
  bool refused;
};

Case Converts(ValueType type, const char* json, Variant expected) {
  return {type, json, std::move(expected), 0, false};
}
Case Raises(ValueType type, const char* json, int32_t number) { return {type, json, {}, number, false}; }
Case Refused(ValueType type, const char* json) { return {type, json, {}, 0, true}; }

TEST(ArgumentsTest, ConvertsByTheAutomationRules) {
  using enum ValueType;
  const Case cases[] = {
      Converts(kLong, "7", Variant(7)),
      Converts(kLong, "2.5", Variant(2)),  // half to even
      Converts(kLong, "3.5", Variant(4)),
      Converts(kLong, "-2.5", Variant(-2)),
      Converts(kLong, "2147483647", Variant(2147483647)),
      Converts(kLong, "\" 42 \"", Variant(42)),
      Converts(kLong, "\"&H1F\"", Variant(31)),
      Converts(kLong, "true", Variant(-1)),
      Converts(kLong, R"({"$empty": true})", Variant(0)),
      Raises(kLong, "3000000000", errors::kOverflow),
      Raises(kLong, "2147483648", errors::kOverflow),
      Raises(kLong, "\"abc\"", errors::kTypeMismatch),
      Raises(kLong, "\"\"", errors::kTypeMismatch),
      Raises(kLong, "null", errors::kInvalidUseOfNull),
      Refused(kLong, R"({"a": 1})"),
      Refused(kLong, "[1]"),
      Refused(kLong, R"({"$bytes": "AA=="})"),

      Converts(kString, "\"text\"", Variant("text")),
      Converts(kString, "5", Variant("5")),
      Converts(kString, "2.5", Variant("2.5")),
      Converts(kString, "true", Variant("True")),
      Raises(kString, "null", errors::kInvalidUseOfNull),
      Refused(kString, "[]"),

      Converts(kBoolean, "false", Variant(false)),
      Converts(kBoolean, "\"True\"", Variant(true)),
      Converts(kBoolean, "2", Variant(true)),
      Converts(kBoolean, "0", Variant(false)),
      Raises(kBoolean, "\"yes\"", errors::kTypeMismatch),
      Refused(kBoolean, "{}"),

      Converts(kDouble, "\"1.5\"", Variant(1.5)),
      Converts(kDouble, "3000000000", Variant(3e9)),

      Converts(kDictionary, "null", Variant(std::shared_ptr<Dictionary>())),
      Refused(kDictionary, "5"),
      Refused(kDictionary, "[1]"),
      Converts(kVector, "null", Variant(std::shared_ptr<Vector>())),
      Refused(kVector, "{}"),
      Converts(kRecordset, "null", Variant(std::shared_ptr<Recordset>())),
      Refused(kRecordset, "\"rows\""),

      Converts(kVariant, "null", Variant::Null()),
      Converts(kVariant, "2.5", Variant(2.5)),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(ValueTypeName(c.type)) + " given " + c.json);
    ParamInfo param = In("lValue", c.type);
    Variant given = ParseValue(c.json);
    if (c.refused) {
      try {
        ConvertArgument(given, param, 1);
        ADD_FAILURE() << "accepted";
      } catch (const RequestError& error) {
        EXPECT_EQ(error.status(), 400);
        EXPECT_EQ(error.kind(), "bad_arguments");
        EXPECT_NE(std::string(error.what()).find("argument 2 (lValue)"), std::string::npos) << error.what();
      }
    } else if (c.error_number != 0) {
      EXPECT_EQ(test::ErrorNumberOf([&] { ConvertArgument(given, param, 1); }), c.error_number);
    } else {
      Variant converted = ConvertArgument(given, param, 1);
      EXPECT_EQ(converted.kind(), c.expected.kind());
      if (converted.IsObject()) {
        EXPECT_TRUE(converted.IsNothing());
      } else {
        EXPECT_TRUE(converted == c.expected);
      }
    }
  }
}

TEST(ArgumentsTest, ObjectsPassAsTheSameObject) {
  auto dictionary = Dictionary::Create();
  Variant converted = ConvertArgument(Variant(dictionary), In("oDict", ValueType::kDictionary), 0);
  EXPECT_EQ(converted.AsDictionary().get(), dictionary.get());
}

TEST(ArgumentsTest, BindsPositionsAndFillsDefaults) {
  MethodInfo method{"Sample",
                    {In("sDsn", ValueType::kString), Ref("lID", ValueType::kLong),
                     Optional("blnTemplate", ValueType::kBoolean, Variant(false)),
                     Optional("sName", ValueType::kString, Variant("none"))},
                    ValueType::kVoid,
                    {}};
  Arguments all = BindArguments(method, {Variant("d"), Variant(2.5), Variant(1), Variant(7)});
  ASSERT_EQ(all.size(), 4u);
  EXPECT_TRUE(all[1] == Variant(2));
  EXPECT_TRUE(all[2] == Variant(true));
  EXPECT_TRUE(all[3] == Variant("7"));

  Arguments defaults = BindArguments(method, {Variant("d"), Variant(1)});
  ASSERT_EQ(defaults.size(), 4u);
  EXPECT_TRUE(defaults[2] == Variant(false));
  EXPECT_TRUE(defaults[3] == Variant("none"));

  for (size_t count : {size_t{0}, size_t{1}, size_t{5}}) {
    SCOPED_TRACE(count);
    std::vector<Variant> given(count, Variant(1));
    try {
      BindArguments(method, given);
      ADD_FAILURE() << "accepted";
    } catch (const RequestError& error) {
      EXPECT_EQ(error.status(), 400);
      EXPECT_EQ(std::string(error.what()),
                "Sample takes 2 to 4 arguments (sDsn, lID, [blnTemplate], [sName]); " +
                    std::to_string(count) + " given.");
    }
  }
}

}  // namespace
}  // namespace lxm::server

// The quick reading of plain request bodies must give exactly what the full
// decoder gives, and leave everything else to it.
#include "server/flat_arguments.h"

#include <gtest/gtest.h>

#include <string>

#include "server/json_codec.h"
#include "server/same_value.h"

namespace lxm::server {
namespace {

// What the full decoder makes of the body's "args" (empty when it refuses).
std::optional<std::vector<Variant>> FullRead(std::string_view body) {
  try {
    nlohmann::ordered_json json = ParseJson(body, kMaxNestingDepth + 2);
    std::vector<Variant> values;
    for (const auto& item : json.at("args")) values.push_back(DecodeValue(item));
    return values;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

TEST(FlatArgumentsTest, ReadsPlainBodiesAsTheFullDecoderAndLeavesTheRestToIt) {
  struct Case {
    std::string body;
    bool quick;  // read without the full decoder
  };
  const Case cases[] = {
      {R"({"args":["ConnectString={Provider=SQLite;Data Source=/a.db};UserID=7;LANGUAGE=en",0]})", true},
      {R"({"args":[]})", true},
      {" {\r\n\t\"args\" : [ \"a\" , -12 , 999999999 , -999999999 , true , false , null ] }\n", true},
      {R"({"args":["",1,"~\u007f"]})", false},  // an escape
      {"{\"args\":[\"\x7f del\"]}", true},
      {R"({"args":["a\"b"]})", false},
      {"{\"args\":[\"caf\xc3\xa9\"]}", false},  // non-ASCII: UTF-8 is checked there
      {"{\"args\":[\"\xff\"]}", false},
      {"{\"args\":[\"tab\there\"]}", false},
      {R"({"args":[1000000000]})", false},  // ten digits
      {R"({"args":[2147483648]})", false},
      {R"({"args":[22222222222222222222222222]})", false},  // more than int64 holds
      {R"({"args":[-9223372036854775809]})", false},
      {R"({"args":[-0]})", false},
      {R"({"args":[01]})", false},
      {R"({"args":[1.5]})", false},
      {R"({"args":[1e3]})", false},
      {R"({"args":[1E3]})", false},
      {R"({"args":[-]})", false},
      {R"({"args":[[1]]})", false},
      {R"({"args":[{"$bytes":"AA=="}]})", false},
      {R"({"args":[1],"other":2})", false},
      {R"({"other":2,"args":[1]})", false},
      {R"({"args":[1,]})", false},
      {R"({"args":[,1]})", false},
      {R"({"args":[1 2]})", false},
      {R"({"args":[truex]})", false},
      {R"({"args":[nul]})", false},
      {R"({"args":["open]})", false},
      {R"({"args":[1]} x)", false},
      {R"({"args":[1]}})", false},
      {R"({"args":[1])", false},
      {R"({"args":1})", false},
      {R"(["args",1])", false},
      {R"({"ARGS":[1]})", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    std::optional<std::vector<Variant>> quick = ReadFlatArguments(c.body);
    EXPECT_EQ(quick.has_value(), c.quick);
    if (!quick) continue;
    std::optional<std::vector<Variant>> full = FullRead(c.body);
    ASSERT_TRUE(full.has_value());
    ASSERT_EQ(quick->size(), full->size());
    for (size_t i = 0; i < quick->size(); ++i) EXPECT_TRUE(test::SameValue((*quick)[i], (*full)[i]));
  }
}

}  // namespace
}  // namespace lxm::server

#include "core/cparse.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com_error.h"

namespace lxm {
namespace {

using Properties = std::vector<std::pair<std::string, std::string>>;

// Expects exactly `expected` (names looked up as given) and nothing else.
void ExpectProperties(const CParse& parse, const Properties& expected) {
  EXPECT_EQ(parse.property_count(), expected.size());
  for (const auto& [name, value] : expected) {
    EXPECT_EQ(parse.GetProperty(name), value) << "property " << name;
  }
}

int32_t ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ComError& error) {
    return error.number();
  }
  ADD_FAILURE() << "no error raised";
  return 0;
}

TEST(CParseTest, GrammarCases) {
  struct Case {
    const char* name;
    std::string descriptor;
    Properties expected;
  };
  const std::vector<Case> cases = {
      {"braced connect string keeps inner separators",
       "ConnectString={Provider=SQLite;Data Source=/srv/acct.db};UserID=16394;LANGUAGE=en;",
       {{"ConnectString", "Provider=SQLite;Data Source=/srv/acct.db"},
        {"UserID", "16394"},
        {"LANGUAGE", "en"}}},
      {"text after the closing brace is dropped",
       "ConnectString={a=1;b=2} junk=x;UserID=7",
       {{"ConnectString", "a=1;b=2"}, {"UserID", "7"}}},
      {"spaces around names, = and values are trimmed",
       "  UserName  =  Li Lei  ;  LANGUAGE = cht ;ConnectString = { x=1 } ",
       {{"UserName", "Li Lei"}, {"LANGUAGE", "cht"}, {"ConnectString", "x=1"}}},
      {"empty descriptor", "", {}},
      {"only spaces", "   ", {}},
      {"leading = stops at once", "=x;UserID=1;LANGUAGE=en", {}},
      {"parsing stops at the first empty name", "UserID=1; =2;LANGUAGE=en", {{"UserID", "1"}}},
      {"a name runs to the first = across ;", "Foo;UserID=5;LANGUAGE=en",
       {{"Foo;UserID", "5"}, {"LANGUAGE", "en"}}},
      {"a final property without ; is complete", "UserID=5;LANGUAGE=en",
       {{"UserID", "5"}, {"LANGUAGE", "en"}}},
      {"a last segment without = has an empty value", "UserID=5;Trusted",
       {{"UserID", "5"}, {"Trusted", ""}}},
      {"tabs and line breaks are not trimmed", "\tUserID=5\t;LANGUAGE=en\r\n",
       {{"\tUserID", "5\t"}, {"LANGUAGE", "en\r\n"}}},
      {"a value may contain = when not braced", "ConnectString=a=b;UserID=1",
       {{"ConnectString", "a=b"}, {"UserID", "1"}}},
      {"an unclosed brace takes the rest", "UserID=1;ConnectString={a=1;b=2",
       {{"UserID", "1"}, {"ConnectString", "a=1;b=2"}}},
      {"empty values", "UserName=;UUID={};LANGUAGE=en",
       {{"UserName", ""}, {"UUID", ""}, {"LANGUAGE", "en"}}},
      {"a braced value cannot hold }", "ConnectString={a}b};UserID=3",
       {{"ConnectString", "a"}, {"UserID", "3"}}},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    CParse parse;
    EXPECT_TRUE(parse.ParseString(test_case.descriptor));
    EXPECT_EQ(parse.PropsString(), test_case.descriptor);
    ExpectProperties(parse, test_case.expected);
  }
}

TEST(CParseTest, LookupIgnoresCaseAndMissingIsEmpty) {
  CParse parse;
  parse.ParseString("UserID=16394;DBMS Name=SQLite;DBMS Version=3.40");
  EXPECT_EQ(parse.GetProperty("userid"), "16394");
  EXPECT_EQ(parse.GetProperty("USERID"), "16394");
  EXPECT_EQ(parse.UserID(), 16394);
  EXPECT_EQ(parse.ConDBMSName(), "SQLite");
  EXPECT_EQ(parse.ConDBMSVersion(), "3.40");
  EXPECT_EQ(parse.GetProperty("UUID"), "");
  EXPECT_EQ(parse.ConStr(), "");
}

TEST(CParseTest, NeverParsedBehavesAsEmpty) {
  CParse parse;
  EXPECT_EQ(parse.GetProperty("UserID"), "");
  EXPECT_EQ(parse.LanguageID(), "chs");
  EXPECT_EQ(parse.property_count(), 0u);
}

TEST(CParseTest, EmptyDescriptor) {
  CParse parse;
  EXPECT_TRUE(parse.ParseString(""));
  EXPECT_EQ(parse.property_count(), 0u);
  EXPECT_EQ(parse.LanguageID(), "chs");
  EXPECT_EQ(parse.GetProperty("UUID"), "");
  EXPECT_EQ(ErrorNumberOf([&] { parse.UserID(); }), errors::kTypeMismatch);
}

TEST(CParseTest, DuplicateNameInOtherCaseRaises457AndKeepsEarlierTable) {
  CParse parse;
  parse.ParseString("UserID=1;LANGUAGE=en");
  try {
    parse.ParseString("UserID=2;userid=3");
    FAIL() << "no error raised";
  } catch (const ComError& error) {
    EXPECT_EQ(error.number(), errors::kDuplicateKey);
    EXPECT_EQ(error.number(), 457);
  }
  // A rejected descriptor leaves the earlier one in force.
  EXPECT_EQ(parse.PropsString(), "UserID=1;LANGUAGE=en");
  EXPECT_EQ(parse.UserID(), 1);
  EXPECT_EQ(parse.LanguageID(), "en");
}

TEST(CParseTest, DuplicateAfterTrimmingRaises) {
  CParse parse;
  EXPECT_EQ(ErrorNumberOf([&] { parse.ParseString("LANGUAGE=en; language =cht"); }),
            errors::kDuplicateKey);
}

TEST(CParseTest, ParseStringReplacesEarlierTable) {
  CParse parse;
  parse.ParseString("UserID=1;LANGUAGE=en;UUID=abc");
  parse.ParseString("UserID=2");
  EXPECT_EQ(parse.PropsString(), "UserID=2");
  ExpectProperties(parse, {{"UserID", "2"}});
  EXPECT_EQ(parse.GetProperty("UUID"), "");
  EXPECT_EQ(parse.LanguageID(), "chs");
}

TEST(CParseTest, UserIDConversion) {
  struct Case {
    std::string descriptor;
    int32_t expected;
  };
  for (const Case& test_case : std::vector<Case>{
           {"UserID= 16394 ", 16394},
           {"UserID={ 16394 }", 16394},
           {"UserID=0", 0},
           {"UserID=-3", -3},
           {"UserID=12.5", 12},  // half to even
           {"UserID=13.5", 14},
           {"UserID=12.6", 13},
       }) {
    SCOPED_TRACE(test_case.descriptor);
    CParse parse;
    parse.ParseString(test_case.descriptor);
    EXPECT_EQ(parse.UserID(), test_case.expected);
  }
}

TEST(CParseTest, UserIDMissingOrNotNumericRaises13) {
  for (const std::string descriptor :
       {"LANGUAGE=en", "UserID=", "UserID=abc", "UserID=12abc", "UserID"}) {
    SCOPED_TRACE(descriptor);
    CParse parse;
    parse.ParseString(descriptor);
    EXPECT_EQ(ErrorNumberOf([&] { parse.UserID(); }), errors::kTypeMismatch);
  }
}

TEST(CParseTest, LanguageIDDefaultsToChsAndIsOtherwiseUnchanged) {
  struct Case {
    std::string descriptor;
    std::string expected;
  };
  for (const Case& test_case : std::vector<Case>{
           {"UserID=1", "chs"},
           {"LANGUAGE=", "chs"},
           {"LANGUAGE=  ", "chs"},
           {"LANGUAGE=en", "en"},
           {"LANGUAGE=EN", "EN"},
           {"language=cht", "cht"},
           {"LANGUAGE=fr", "fr"},
           {"LANGUAGE=\ten", "\ten"},
       }) {
    SCOPED_TRACE(test_case.descriptor);
    CParse parse;
    parse.ParseString(test_case.descriptor);
    EXPECT_EQ(parse.LanguageID(), test_case.expected);
  }
}

TEST(CParseTest, IsIndustry) {
  struct Case {
    std::string descriptor;
    bool expected;
  };
  for (const Case& test_case : std::vector<Case>{
           {"AcctType=GY", true},
           {"AcctType=gy", true},
           {"AcctType=Gy", true},
           {"AcctType= gy ", true},
           {"AcctType=QY", false},
           {"AcctType=GYX", false},
           {"AcctType=", false},
           {"UserID=1", false},
       }) {
    SCOPED_TRACE(test_case.descriptor);
    CParse parse;
    parse.ParseString(test_case.descriptor);
    EXPECT_EQ(parse.IsIndustry(), test_case.expected);
  }
}

}  // namespace
}  // namespace lxm

#include "platform/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/com_error.h"
#include "platform/dictionary.h"
#include "test_support/error_matchers.h"

namespace lxm {
namespace {

using test::ErrorNumberOf;

constexpr int32_t kMinLong = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxLong = std::numeric_limits<int32_t>::max();

std::string Describe(const Variant& value) {
  std::string text(KindName(value.kind()));
  if (const std::string* s = value.TryGet<std::string>()) text += " \"" + *s + "\"";
  if (const double* d = value.TryGet<double>()) text += " " + std::to_string(*d);
  if (const int32_t* l = value.TryGet<int32_t>()) text += " " + std::to_string(*l);
  return text;
}

struct LongCase {
  Variant input;
  int32_t expected;
};

TEST(CLngTest, ConvertsNumbersAndNumericText) {
  const std::vector<LongCase> cases = {
      {Variant(), 0},
      {Variant(7), 7},
      {Variant(true), -1},
      {Variant(false), 0},
      // Half to even, both signs.
      {Variant(0.5), 0},
      {Variant(1.5), 2},
      {Variant(2.5), 2},
      {Variant(3.5), 4},
      {Variant(-2.5), -2},
      {Variant(-3.5), -4},
      {Variant(2.4999), 2},
      {Variant(2.5001), 3},
      {Variant(-0.4), 0},
      // Text: spaces around it, signs, fractions, exponents, separators.
      {Variant(" 12 "), 12},
      {Variant("\t12\t"), 12},
      {Variant("-12"), -12},
      {Variant("+12"), 12},
      {Variant("2.5"), 2},
      {Variant("3.5"), 4},
      {Variant("1e3"), 1000},
      {Variant("1.5E1"), 15},
      {Variant("1,000"), 1000},
      {Variant("1,234,567"), 1234567},
      {Variant(".5"), 0},
      {Variant("007"), 7},
      // Hex and octal, read as a signed 32-bit value.
      {Variant("&H10"), 16},
      {Variant("&h1f"), 31},
      {Variant("&O17"), 15},
      {Variant("&o17"), 15},
      {Variant("&H7FFFFFFF"), kMaxLong},
      {Variant("&HFFFFFFFF"), -1},
      {Variant("&H80000000"), kMinLong},
      {Variant("&H000000010"), 16},
      // The ends of the range.
      {Variant(2147483647.0), kMaxLong},
      {Variant(-2147483648.0), kMinLong},
      {Variant(-2147483648.5), kMinLong},
      {Variant("-2147483648"), kMinLong},
      {Variant("2147483647"), kMaxLong},
  };
  for (const LongCase& c : cases) {
    SCOPED_TRACE(Describe(c.input));
    int32_t result = 0;
    EXPECT_EQ(ErrorNumberOf([&] { result = CLng(c.input); }), 0);
    EXPECT_EQ(result, c.expected);
  }
}

struct ErrorCase {
  Variant input;
  int32_t error;
};

TEST(CLngTest, RaisesTypeMismatchOverflowAndInvalidNull) {
  const std::vector<ErrorCase> cases = {
      {Variant(""), errors::kTypeMismatch},
      {Variant("   "), errors::kTypeMismatch},
      {Variant("abc"), errors::kTypeMismatch},
      {Variant("12abc"), errors::kTypeMismatch},
      {Variant("1 2"), errors::kTypeMismatch},
      {Variant("1e"), errors::kTypeMismatch},
      {Variant("."), errors::kTypeMismatch},
      {Variant("-"), errors::kTypeMismatch},
      {Variant("&H"), errors::kTypeMismatch},
      {Variant("&HG1"), errors::kTypeMismatch},
      {Variant("&O8"), errors::kTypeMismatch},
      {Variant("1.2.3"), errors::kTypeMismatch},
      {Variant(Bytes{'1'}), errors::kTypeMismatch},
      {Variant(Dictionary::Create()), errors::kTypeMismatch},
      {Variant(2147483648.0), errors::kOverflow},
      {Variant(-2147483649.0), errors::kOverflow},
      {Variant(2147483647.5), errors::kOverflow},
      {Variant("2147483647.5"), errors::kOverflow},
      {Variant("2147483648"), errors::kOverflow},
      {Variant("&H100000000"), errors::kOverflow},
      {Variant("1e400"), errors::kOverflow},
      {Variant(std::nan("")), errors::kOverflow},
      {Variant(std::numeric_limits<double>::infinity()), errors::kOverflow},
      {Variant::Null(), errors::kInvalidUseOfNull},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(Describe(c.input));
    EXPECT_EQ(ErrorNumberOf([&] { CLng(c.input); }), c.error);
  }
}

TEST(CLngTest, RuntimeErrorsCarryTheServiceSource) {
  std::optional<ComError> error = test::ErrorOf([] { CLng(Variant("abc")); });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->source(), "LXMDataFlow");
  EXPECT_EQ(error->description(), "Type mismatch");
}

struct DoubleCase {
  Variant input;
  double expected;
};

TEST(CDblTest, ConvertsWithoutRoundingOrLongBound) {
  const std::vector<DoubleCase> cases = {
      {Variant(), 0},
      {Variant(true), -1},
      {Variant(5), 5},
      {Variant(2.5), 2.5},
      {Variant(3000000000.0), 3000000000.0},
      {Variant(" 2.5 "), 2.5},
      {Variant("1.5E-2"), 0.015},
      {Variant("1e3"), 1000},
      {Variant("1d2"), 100},
      {Variant("-0.1"), -0.1},
      {Variant("3000000000"), 3000000000.0},
      {Variant("1,234.5"), 1234.5},
      {Variant("&HFFFFFFFF"), -1},
      {Variant("1e-400"), 0},
  };
  for (const DoubleCase& c : cases) {
    SCOPED_TRACE(Describe(c.input));
    double result = -12345;
    EXPECT_EQ(ErrorNumberOf([&] { result = CDbl(c.input); }), 0);
    EXPECT_EQ(result, c.expected);
  }
}

TEST(CDblTest, RaisesLikeCLng) {
  const std::vector<ErrorCase> cases = {
      {Variant("abc"), errors::kTypeMismatch},
      {Variant(""), errors::kTypeMismatch},
      {Variant(Vector::Create()), errors::kTypeMismatch},
      {Variant("1e400"), errors::kOverflow},
      {Variant::Null(), errors::kInvalidUseOfNull},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(Describe(c.input));
    EXPECT_EQ(ErrorNumberOf([&] { CDbl(c.input); }), c.error);
  }
}

TEST(ParseNumericTextTest, ReadsWholeTextOrNothing) {
  struct Case {
    const char* text;
    std::optional<double> expected;
  };
  const std::vector<Case> cases = {
      {" 12 ", 12.0},
      {"0.1", 0.1},
      {"-1.5e-2", -0.015},
      {"1,000", 1000.0},
      {"&HFFFFFFFF", -1.0},
      {"&O777", 511.0},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"abc", std::nullopt},
      {"12abc", std::nullopt},
      {"1 2", std::nullopt},
      {"- 1", std::nullopt},
      {"1e+", std::nullopt},
      {"1e400", std::nullopt},
      {"&H1FFFFFFFF", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseNumericText(c.text), c.expected);
  }
}

TEST(CBoolTest, ReadsTrueFalseNumbersAndNumericText) {
  struct Case {
    Variant input;
    bool expected;
  };
  const std::vector<Case> cases = {
      {Variant("TRUE"), true},     {Variant("false"), false},
      {Variant(" True "), true},   {Variant("tRuE"), true},
      {Variant("0"), false},       {Variant("-1"), true},
      {Variant("0.5"), true},      {Variant("&H0"), false},
      {Variant(), false},          {Variant(0), false},
      {Variant(2), true},          {Variant(0.0), false},
      {Variant(0.1), true},        {Variant(true), true},
      {Variant(false), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.input));
    bool result = !c.expected;
    EXPECT_EQ(ErrorNumberOf([&] { result = CBool(c.input); }), 0);
    EXPECT_EQ(result, c.expected);
  }
}

TEST(CBoolTest, RaisesForOtherTextAndNull) {
  const std::vector<ErrorCase> cases = {
      {Variant("yes"), errors::kTypeMismatch},
      {Variant(""), errors::kTypeMismatch},
      {Variant("Truex"), errors::kTypeMismatch},
      {Variant(Dictionary::Create()), errors::kTypeMismatch},
      {Variant::Null(), errors::kInvalidUseOfNull},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(Describe(c.input));
    EXPECT_EQ(ErrorNumberOf([&] { CBool(c.input); }), c.error);
  }
}

TEST(CStrTest, WritesEachKindAsVbDoes) {
  struct Case {
    Variant input;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {Variant(), ""},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(-42), "-42"},
      {Variant(kMinLong), "-2147483648"},
      {Variant(1.5), "1.5"},
      {Variant(0.1), "0.1"},
      {Variant(100.0), "100"},
      {Variant(-3.0), "-3"},
      {Variant(1e20), "1E+20"},
      {Variant(1.5e-7), "1.5E-07"},
      {Variant(1e15), "1E+15"},
      {Variant(1e14), "100000000000000"},
      {Variant(0.0001), "0.0001"},
      {Variant(0.1 + 0.2), "0.3"},
      {Variant(1.0 / 3.0), "0.333333333333333"},
      {Variant(123456789012345678.0), "1.23456789012346E+17"},
      {Variant(2147483648.0), "2147483648"},
      {Variant(-0.0), "0"},
      {Variant("as is "), "as is "},
      {Variant(Bytes{'h', 'i'}), "hi"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.input));
    std::string result = "unset";
    EXPECT_EQ(ErrorNumberOf([&] { result = CStr(c.input); }), 0);
    EXPECT_EQ(result, c.expected);
  }
}

TEST(CStrTest, RaisesForNullAndObjects) {
  EXPECT_EQ(ErrorNumberOf([] { CStr(Variant::Null()); }), errors::kInvalidUseOfNull);
  EXPECT_EQ(ErrorNumberOf([] { CStr(Variant(Dictionary::Create())); }),
            errors::kTypeMismatch);
}

TEST(CStrTest, NumbersReadBackToTheSameValue) {
  for (double value : {1.5, -0.1, 1e20, 1.5e-7, 12345.678, 2147483647.0}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(CDbl(Variant(CStr(Variant(value)))), value);
  }
}

TEST(ValTest, ReadsTheLeadingNumber) {
  struct Case {
    const char* text;
    double expected;
  };
  const std::vector<Case> cases = {
      {"abc", 0},        {"12abc", 12},      {" 1 2 3", 123},
      {"1.0", 1},        {"-5x", -5},        {"", 0},
      {"1e3", 1000},     {"2D2", 200},       {"1.5E-1", 0.15},
      {"+7", 7},         {".5", 0.5},        {"1.2.3", 1.2},
      {"1,000", 1},      {"1e", 1},          {"1e+x", 1},
      {"\t4\n2\r", 42},  {"- 5", -5},        {"--5", 0},
      {"&HFF", 255},     {"&hffx", 255},     {"&O17", 15},
      {"&H", 0},         {"&HFFFFFFFF", -1}, {"&H10000", 65536},
      // VB reads up to 16 bits of hex as an Integer unless "&" follows.
      {"&HFFFF", -1},    {"&HFFFF&", 65535},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double result = -12345;
    EXPECT_EQ(ErrorNumberOf([&] { result = Val(c.text); }), 0);
    EXPECT_EQ(result, c.expected);
  }
}

TEST(ValTest, RaisesOverflowForNumbersBeyondDouble) {
  EXPECT_EQ(ErrorNumberOf([] { Val("1e400"); }), errors::kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { Val("&H100000000"); }), errors::kOverflow);
}

TEST(BankersRoundTest, RoundsHalfToEven) {
  struct Case {
    double input;
    double expected;
  };
  const std::vector<Case> cases = {
      {0.5, 0},   {1.5, 2},        {2.5, 2},     {3.5, 4},       {-0.5, 0},
      {-1.5, -2}, {-2.5, -2},      {2.4999, 2},  {2.5000001, 3}, {-2.6, -3},
      {7, 7},     {-7, -7},        {1e300, 1e300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(BankersRound(c.input), c.expected);
  }
}

TEST(CheckedArithmeticTest, RaisesOverflowInsteadOfWrapping) {
  // An ID times 100 plus an index, as the tree numbers sub-items.
  EXPECT_EQ(ErrorNumberOf([] { CheckedMul(21474837, 100); }), errors::kOverflow);
  EXPECT_EQ(CheckedAdd(CheckedMul(21474836, 100), 47), kMaxLong);
  EXPECT_EQ(ErrorNumberOf([] { CheckedAdd(CheckedMul(21474836, 100), 48); }),
            errors::kOverflow);

  EXPECT_EQ(ErrorNumberOf([] { CheckedAdd(kMaxLong, 1); }), errors::kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { CheckedSub(kMinLong, 1); }), errors::kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { CheckedMul(-1, kMinLong); }), errors::kOverflow);
  EXPECT_EQ(CheckedSub(-1, kMaxLong), kMinLong);
  EXPECT_EQ(CheckedMul(-1, kMaxLong), -kMaxLong);

  EXPECT_EQ(CheckedNarrow(int64_t{kMinLong}), kMinLong);
  EXPECT_EQ(ErrorNumberOf([] { CheckedNarrow(int64_t{kMaxLong} + 1); }), errors::kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { CheckedNarrow(int64_t{kMinLong} - 1); }), errors::kOverflow);
}

}  // namespace
}  // namespace lxm

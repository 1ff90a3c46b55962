#include "platform/format_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com_error.h"
#include "platform/text_buffer.h"
#include "test_support/error_matchers.h"

namespace lxm {
namespace {

TEST(FormatTextTest, ReplacesPositionalArguments) {
  struct Case {
    const char* format;
    std::vector<Variant> args;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"%1 of %2", {Variant("Item"), Variant(2)}, "Item of 2"},
      {"%2-%1", {Variant("a"), Variant("b")}, "b-a"},
      {"%1%1", {Variant("x")}, "xx"},
      {"%5", {Variant(1), Variant(2), Variant(3), Variant(4), Variant(5)}, "5"},
      {"%1 / %2 / %3", {Variant(1.5), Variant(true), Variant(-7)}, "1.5 / True / -7"},
      // Missing and Empty arguments read as empty text.
      {"[%1][%2]", {Variant("only")}, "[only][]"},
      {"[%3]", {}, "[]"},
      {"[%1]", {Variant()}, "[]"},
      // Anything else after "%" stays as written.
      {"%6 %0 %a %", {Variant("x")}, "%6 %0 %a %"},
      {"100%", {}, "100%"},
      {"%%1", {Variant("x")}, "%x"},
      {"%10", {Variant("x")}, "x0"},
      {"no markers", {Variant("x")}, "no markers"},
      {"", {Variant("x")}, ""},
      // Substituted text is not scanned again.
      {"%1", {Variant("%2"), Variant("no")}, "%2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FormatText(c.format, c.args), c.expected);
  }
}

TEST(FormatTextTest, NullArgumentRaisesAsCStrDoes) {
  EXPECT_EQ(test::ErrorNumberOf([] { FormatText("%1", {Variant::Null()}); }),
            errors::kInvalidUseOfNull);
  // An unused Null argument is never converted.
  EXPECT_EQ(FormatText("%1", {Variant("a"), Variant::Null()}), "a");
}

}  // namespace
}  // namespace lxm

namespace lxm {
namespace {

TEST(TextBufferTest, AppendsRemovesAndMeasures) {
  TextBuffer buffer;
  buffer.Append("DELETE ");
  buffer.Append("FROM t");
  EXPECT_EQ(buffer.Length(), 13);
  buffer.Remove(1, 7);
  EXPECT_EQ(buffer.Text(), "FROM t");
  buffer.Remove(6, 100);  // past the end: up to it
  EXPECT_EQ(buffer.Text(), "FROM ");
  buffer.Remove(6, 0);    // just past the end: nothing
  for (auto [start, count] : {std::pair{0, 1}, std::pair{7, 1}, std::pair{1, -1}}) {
    EXPECT_EQ(test::ErrorNumberOf([&] { buffer.Remove(start, count); }), errors::kInvalidCall);
  }
  EXPECT_EQ(buffer.Text(), "FROM ");
}

}  // namespace
}  // namespace lxm

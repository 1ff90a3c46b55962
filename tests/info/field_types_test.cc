// A recordset's field types come from the statement, not from the rows: the
// same read with and without rows reports the same fields.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "info/datas_info.h"
#include "test_support/account_fixture.h"

namespace lxm {
namespace {

class FieldTypesTest : public test::AccountTest {
 protected:
  FieldTypesTest() { demo_ = true; }
};

std::vector<std::pair<std::string, std::string>> FieldsOf(const Recordset& recordset) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const Field& field : recordset.Fields()) {
    fields.emplace_back(field.name, std::string(FieldTypeName(field.type)));
  }
  return fields;
}

TEST_F(FieldTypesTest, ReadsReportTheSameFieldsWithAndWithoutRows) {
  DatasInfo info(runtime_);
  struct Case {
    const char* name;
    std::function<Recordset(bool with_rows)> read;
  };
  const Case cases[] = {
      {"GetHelpCodeInfo",
       [&](bool with_rows) {
         std::string code = with_rows ? "PZLR" : "NO-SUCH-CODE";
         return info.GetHelpCodeInfo(Dsn(16394), code);
       }},
      {"GetDetailNormalFunc",
       [&](bool with_rows) { return info.GetDetailNormalFunc(Dsn(16394, "en"), with_rows ? 1 : 999); }},
      {"GetNormalFunc", [&](bool with_rows) { return info.GetNormalFunc(Dsn(16394), with_rows ? 1 : 999); }},
      {"GetNormalFuncGroup",
       [&](bool with_rows) { return info.GetNormalFuncGroup(Dsn(with_rows ? 16394 : 4242)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recordset with_rows = c.read(true);
    Recordset without_rows = c.read(false);
    ASSERT_GT(with_rows.RecordCount(), 0);
    ASSERT_EQ(without_rows.RecordCount(), 0);
    EXPECT_EQ(FieldsOf(without_rows), FieldsOf(with_rows));
    for (const Field& field : with_rows.Fields()) {
      if (field.name == "FOrderIndex" || field.name == "FIsNormal" || field.name == "FFuncType") {
        EXPECT_EQ(field.type, FieldType::kInteger) << field.name;
      }
    }
  }
}

}  // namespace
}  // namespace lxm

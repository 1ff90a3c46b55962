// Statements are written once for both engines: what they give must not
// depend on the backend the account lives on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/convert.h"
#include "test_support/account_fixture.h"

namespace lxm {
namespace {

class SqlDialectTest : public test::AccountTest {};

TEST_F(SqlDialectTest, NullsSortAndTextComparesAsOnSQLite) {
  // Names with letters of both cases, accented and missing.
  Exec("INSERT INTO t_DataFlowTopClass (FTopClassID, FTopClassName, FTopClassName_EN, FIndex, FAcctType) VALUES "
       "(1, 'b', NULL, 10, ',1,'), (2, NULL, 'Two', 20, NULL), (3, 'a', 'three', 30, ''), "
       "(4, 'B_', 'Été', 40, '')");
  struct Case {
    std::string sql;
    std::string expected;  // the first column of every row, joined by "|"
  };
  const Case cases[] = {
      {"SELECT FTopClassID FROM t_DataFlowTopClass ORDER BY FTopClassName, FTopClassID", "2|3|1|4"},
      {"SELECT FTopClassID FROM t_DataFlowTopClass ORDER BY FTopClassName DESC", "4|1|3|2"},
      {"SELECT FTopClassID FROM t_DataFlowTopClass ORDER BY FAcctType, FTopClassID", "2|3|4|1"},
      {"SELECT FTopClassID FROM t_DataFlowTopClass ORDER BY FTopClassName_EN ASC, FIndex", "1|3|2|4"},
      // Letter case is ignored by equality, IN and ordering of text columns.
      {"SELECT FTopClassID FROM t_DataFlowTopClass WHERE FTopClassName_EN = 'TWO'", "2"},
      {"SELECT FTopClassID FROM t_DataFlowTopClass WHERE FTopClassName_EN IN ('THREE', 'x')", "3"},
      {"SELECT FTopClassID FROM t_DataFlowTopClass WHERE FTopClassName_EN IS NOT NULL ORDER BY FTopClassName_EN",
       "3|2|4"},
      // Folded text compares by its bytes, whatever the database's collation.
      {"SELECT FTopClassID FROM t_DataFlowTopClass WHERE FTopClassName IN ('B_', 'b') ORDER BY FTopClassName DESC",
       "4|1"},
      {"SELECT COUNT(*) FROM t_DataFlowTopClass WHERE FTopClassName IS NULL", "1"},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.sql);
    std::string seen;
    for (Recordset rs = Query(each.sql); !rs.Eof(); rs.MoveNext()) {
      seen += (seen.empty() ? "" : "|") + CStr(rs.Value(size_t{0}));
    }
    EXPECT_EQ(seen, each.expected);
  }
}

}  // namespace
}  // namespace lxm

// Every row of every table as text, to compare a database before and after a
// call that must leave it as it was.
#ifndef LXM_TESTS_TEST_SUPPORT_DATABASE_DUMP_H_
#define LXM_TESTS_TEST_SUPPORT_DATABASE_DUMP_H_

#include <functional>
#include <string>

#include "platform/recordset.h"

namespace lxm::test {

// `query` runs one statement and returns its rows (AccountTest::Query). Tables
// come in name order, each one's rows sorted; stamps are included.
std::string DumpDatabase(const std::function<Recordset(const std::string&)>& query);

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_DATABASE_DUMP_H_

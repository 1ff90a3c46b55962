// Reading recordsets in assertions.
#ifndef LXM_TESTS_TEST_SUPPORT_RECORDSET_HELPERS_H_
#define LXM_TESTS_TEST_SUPPORT_RECORDSET_HELPERS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/recordset.h"

namespace lxm::test {

// The Long values of one field over every row, in row order.
inline std::vector<int32_t> Ids(Recordset rs, const std::string& field) {
  std::vector<int32_t> ids;
  for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) ids.push_back(rs.Value(field).AsLong());
  return ids;
}

// The field names, in order.
inline std::vector<std::string> FieldNames(const Recordset& rs) {
  std::vector<std::string> names;
  for (const Field& field : rs.Fields()) names.push_back(field.name);
  return names;
}

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_RECORDSET_HELPERS_H_

// SQLite sorts NULL before every value; PostgreSQL after every value (in
// ascending order). Statements written for both get SQLite's order on
// PostgreSQL by naming it in each ORDER BY item.
#ifndef LXM_PLATFORM_DB_NULL_ORDERING_H_
#define LXM_PLATFORM_DB_NULL_ORDERING_H_

#include <string>
#include <string_view>

namespace lxm {

// `sql` with " NULLS FIRST" after every ascending ORDER BY item and
// " NULLS LAST" after every descending one, in subqueries, window clauses
// and aggregates too; items that name their own NULLS order, quoted text
// and comments are left alone.
std::string WithNullsOrderedFirst(std::string_view sql);

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_NULL_ORDERING_H_

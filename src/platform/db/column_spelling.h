// ColumnSpelling: gives result column names back the spelling our
// statements and schema use, after PostgreSQL folded them to lower case.
//
// A name is looked up first among the identifiers of the statement itself
// (its aliases and the columns it names, as written), then among the
// schema's table and column names (for "SELECT *").
#ifndef LXM_PLATFORM_DB_COLUMN_SPELLING_H_
#define LXM_PLATFORM_DB_COLUMN_SPELLING_H_

#include <string>
#include <string_view>
#include <unordered_map>

namespace lxm {

// Lower case -> canonical spelling.
using SpellingMap = std::unordered_map<std::string, std::string>;

// The schema's table and column names. Defined beside the PostgreSQL schema
// (tree/schema_postgres.cc), which is where those names are written.
const SpellingMap& SchemaSpelling();

class ColumnSpelling {
 public:
  // Collects the identifiers of `sql` outside quotes and comments.
  explicit ColumnSpelling(std::string_view sql);

  // The canonical spelling of a folded name; the name itself when unknown.
  std::string Restore(std::string_view folded) const;

  // The identifiers collected, by lower case (the first spelling of each).
  const SpellingMap& names() const { return statement_names_; }

 private:
  SpellingMap statement_names_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_COLUMN_SPELLING_H_

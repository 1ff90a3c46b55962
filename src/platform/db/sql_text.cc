#include "platform/db/sql_text.h"

namespace lxm {

size_t EndOfQuoted(std::string_view sql, size_t at) {
  const char quote = sql[at];
  size_t end = at + 1;
  while (end < sql.size()) {
    if (sql[end] == quote) {
      if (end + 1 < sql.size() && sql[end + 1] == quote) {
        end += 2;
        continue;
      }
      return end + 1;
    }
    ++end;
  }
  return sql.size();
}

size_t EndOfComment(std::string_view sql, size_t at) {
  size_t end = sql.find('\n', at);
  return end == std::string_view::npos ? sql.size() : end;
}

}  // namespace lxm

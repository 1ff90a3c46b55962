#include "platform/db/column_spelling.h"

#include <cctype>

#include "platform/db/sql_text.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNamePart(char c) { return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)); }

}  // namespace

ColumnSpelling::ColumnSpelling(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'' || c == '"') {
      i = EndOfQuoted(sql, i);
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      i = EndOfComment(sql, i);
    } else if (IsNameStart(c)) {
      size_t end = i;
      while (end < sql.size() && IsNamePart(sql[end])) ++end;
      std::string name(sql.substr(i, end - i));
      // The first spelling wins, as the select list comes first.
      statement_names_.emplace(ToLowerAscii(name), name);
      i = end;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      // A number such as 1e5 is no name.
      while (i < sql.size() && IsNamePart(sql[i])) ++i;
    } else {
      ++i;
    }
  }
}

std::string ColumnSpelling::Restore(std::string_view folded) const {
  std::string key = ToLowerAscii(folded);
  if (auto it = statement_names_.find(key); it != statement_names_.end()) return it->second;
  const SpellingMap& schema = SchemaSpelling();
  if (auto it = schema.find(key); it != schema.end()) return it->second;
  return std::string(folded);
}

}  // namespace lxm

#include "platform/db/null_ordering.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

#include "platform/db/sql_text.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$'; }

// Words that end an ORDER BY list at its own level.
bool EndsList(const std::string& word) {
  for (const char* end : {"LIMIT", "OFFSET", "FETCH", "FOR", "UNION", "EXCEPT", "INTERSECT", "ROWS", "RANGE",
                          "GROUPS"}) {
    if (word == end) return true;
  }
  return false;
}

// One ORDER BY list being read.
struct SortList {
  int depth = 0;          // of parentheses, where the list stands
  size_t item_end = 0;    // just past the item's last character so far
  bool item_empty = true;
  bool names_nulls = false;
  std::string last_word;  // the item's last word at the list's level
};

}  // namespace

std::string WithNullsOrderedFirst(std::string_view sql) {
  std::vector<std::pair<size_t, const char*>> insertions;
  std::vector<SortList> lists;
  int depth = 0;
  std::string previous_word;  // the last word at any level, for "ORDER BY"

  auto end_item = [&](SortList& list) {
    if (!list.item_empty && !list.names_nulls) {
      insertions.emplace_back(list.item_end, list.last_word == "DESC" ? " NULLS LAST" : " NULLS FIRST");
    }
    list.item_empty = true;
    list.names_nulls = false;
    list.last_word.clear();
  };
  auto in_list = [&] { return !lists.empty() && lists.back().depth == depth; };
  auto mark = [&](size_t end) {
    if (!in_list()) return;
    lists.back().item_end = end;
    lists.back().item_empty = false;
  };

  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'' || c == '"') {
      size_t end = EndOfQuoted(sql, i);
      mark(end);
      if (in_list()) lists.back().last_word.clear();
      previous_word.clear();
      i = end;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      i = EndOfComment(sql, i);
    } else if (IsWordChar(c)) {
      size_t end = i;
      while (end < sql.size() && IsWordChar(sql[end])) ++end;
      std::string word = ToUpperAscii(sql.substr(i, end - i));
      if (in_list() && EndsList(word)) {
        end_item(lists.back());
        lists.pop_back();
      }
      if (word == "BY" && previous_word == "ORDER") {
        lists.push_back(SortList{depth});
      } else if (in_list()) {
        mark(end);
        if (word == "NULLS") lists.back().names_nulls = true;
        lists.back().last_word = word;
      }
      previous_word = word;
      i = end;
    } else if (std::isspace(static_cast<unsigned char>(c)) != 0) {
      ++i;
    } else {
      previous_word.clear();
      if (c == '(') {
        mark(i + 1);
        if (in_list()) lists.back().last_word.clear();
        ++depth;
      } else if (c == ')') {
        if (in_list()) {
          end_item(lists.back());
          lists.pop_back();
        }
        --depth;
        mark(i + 1);
      } else if (c == ',' && in_list()) {
        end_item(lists.back());
      } else if (c == ';' && in_list()) {
        end_item(lists.back());
        lists.pop_back();
      } else {
        mark(i + 1);
        if (in_list()) lists.back().last_word.clear();
      }
      ++i;
    }
  }
  while (!lists.empty()) {
    end_item(lists.back());
    lists.pop_back();
  }

  std::string out;
  out.reserve(sql.size() + insertions.size() * 12);
  size_t from = 0;
  // Positions grow with the text read, except that an inner list may end
  // after an outer item began: sort them.
  std::sort(insertions.begin(), insertions.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [at, text] : insertions) {
    out.append(sql.substr(from, at - from));
    out += text;
    from = at;
  }
  out.append(sql.substr(from));
  return out;
}

}  // namespace lxm

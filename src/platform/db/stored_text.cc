#include "platform/db/stored_text.h"

#include <cctype>
#include <memory>
#include <vector>

#include "platform/com_error.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

// Words (names, keywords, numbers), "?" and single punctuation marks;
// quoted texts and comments are dropped, as they bind nothing.
std::vector<std::string_view> Tokens(std::string_view sql) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  auto is_word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  while (i < sql.size()) {
    char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '\'' || c == '"') {
      for (++i; i < sql.size(); ++i) {
        if (sql[i] != c) continue;
        if (i + 1 < sql.size() && sql[i + 1] == c) {
          ++i;  // a doubled quote stays inside
          continue;
        }
        break;
      }
      ++i;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      while (i < sql.size() && sql[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      size_t end = sql.find("*/", i + 2);
      i = end == std::string_view::npos ? sql.size() : end + 2;
    } else if (is_word(c)) {
      size_t start = i;
      while (i < sql.size() && is_word(sql[i])) ++i;
      tokens.push_back(sql.substr(start, i - start));
    } else {
      tokens.push_back(sql.substr(i++, 1));
    }
  }
  return tokens;
}

bool Is(std::string_view token, std::string_view word) { return EqualsIgnoreCase(token, word); }

// A column a parameter is stored in.
struct Target {
  size_t param;
  std::string table;
  std::string column;
  std::string key;  // lower-case "table.column"
};

class TargetFinder {
 public:
  explicit TargetFinder(std::string_view sql) : tokens_(Tokens(sql)) {}

  std::vector<Target> Find() {
    if (tokens_.size() > 2 && Is(tokens_[0], "INSERT") && Is(tokens_[1], "INTO")) {
      FindInsert();
    } else if (tokens_.size() > 3 && Is(tokens_[0], "UPDATE") && Is(tokens_[2], "SET")) {
      FindUpdate();
    }
    return std::move(targets_);
  }

 private:
  void FindInsert() {
    std::string_view table = tokens_[2];
    at_ = 3;
    if (!Take("(")) return;
    std::vector<std::string_view> columns;
    while (at_ < tokens_.size() && tokens_[at_] != ")") {
      if (tokens_[at_] != ",") columns.push_back(tokens_[at_]);
      ++at_;
    }
    ++at_;
    if (at_ >= tokens_.size()) return;
    bool values = Is(tokens_[at_], "VALUES");
    if (!values && !Is(tokens_[at_], "SELECT")) return;
    ++at_;
    if (values && !Take("(")) return;
    // One expression per column, split at the commas of the outer level.
    for (size_t column = 0; at_ < tokens_.size(); ++column) {
      size_t start = at_;
      if (!SkipExpression(values)) {
        AddIfBare(start, table, column < columns.size() ? columns[column] : std::string_view());
        break;
      }
      AddIfBare(start, table, column < columns.size() ? columns[column] : std::string_view());
      ++at_;  // the comma
    }
  }

  void FindUpdate() {
    std::string_view table = tokens_[1];
    at_ = 3;
    while (at_ + 1 < tokens_.size()) {
      std::string_view column = tokens_[at_];
      if (tokens_[at_ + 1] != "=") return;
      at_ += 2;
      size_t start = at_;
      bool more = SkipExpression(false);
      AddIfBare(start, table, column);
      if (!more) return;
      ++at_;
    }
  }

  // Moves past one expression, counting its parameters; true when a comma
  // of the outer level ends it (at_ is then on the comma).
  bool SkipExpression(bool in_parentheses) {
    int depth = 0;
    for (; at_ < tokens_.size(); ++at_) {
      std::string_view token = tokens_[at_];
      if (token == "(") {
        ++depth;
      } else if (token == ")") {
        if (depth == 0) return false;
        --depth;
      } else if (depth == 0 && token == ",") {
        return true;
      } else if (depth == 0 && !in_parentheses &&
                 (Is(token, "FROM") || Is(token, "WHERE") || Is(token, "RETURNING"))) {
        return false;
      }
    }
    return false;
  }

  void AddIfBare(size_t start, std::string_view table, std::string_view column) {
    // Parameters are numbered by their place in the whole statement.
    size_t before = 0;
    for (size_t i = 0; i < start; ++i) before += tokens_[i] == "?";
    if (column.empty() || at_ != start + 1 || tokens_[start] != "?") return;
    std::string key = ToLowerAscii(table) + "." + ToLowerAscii(column);
    targets_.push_back({before, std::string(table), std::string(column), std::move(key)});
  }

  bool Take(std::string_view token) {
    if (at_ >= tokens_.size() || tokens_[at_] != token) return false;
    ++at_;
    return true;
  }

  std::vector<std::string_view> tokens_;
  size_t at_ = 0;
  std::vector<Target> targets_;
};

// Statements are fixed texts: each is read once per thread.
const std::vector<Target>& TargetsOf(std::string_view sql) {
  thread_local std::unordered_map<std::string, std::vector<Target>, TransparentStringHash, std::equal_to<>> known;
  auto found = known.find(sql);
  if (found != known.end()) return found->second;
  // Statements built with a varying number of marks stay few; a bound on
  // the map keeps a long-running thread from gathering them.
  if (known.size() > 4096) known.clear();
  return known.emplace(std::string(sql), TargetFinder(sql).Find()).first->second;
}

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

}  // namespace

DeclaredLengths ParseDeclaredLengths(std::string_view ddl) {
  DeclaredLengths lengths;
  std::vector<std::string_view> tokens = Tokens(ddl);
  for (size_t i = 0; i + 3 < tokens.size(); ++i) {
    if (!Is(tokens[i], "CREATE") || !Is(tokens[i + 1], "TABLE")) continue;
    std::string table = ToLowerAscii(tokens[i + 2]);
    if (tokens[i + 3] != "(") continue;
    int depth = 0;
    // Each definition starts after the opening parenthesis or a comma of
    // the outer level: name, type, then "(n)" for a length.
    bool at_start = true;
    for (size_t j = i + 4; j < tokens.size(); ++j) {
      std::string_view token = tokens[j];
      if (token == "(") {
        ++depth;
      } else if (token == ")") {
        if (depth-- == 0) break;
      } else if (depth == 0 && token == ",") {
        at_start = true;
        continue;
      } else if (depth == 0 && at_start && j + 4 < tokens.size() && tokens[j + 2] == "(" &&
                 tokens[j + 4] == ")" &&
                 (Is(tokens[j + 1], "VARCHAR") || Is(tokens[j + 1], "NVARCHAR") || Is(tokens[j + 1], "CHAR") ||
                  Is(tokens[j + 1], "NCHAR"))) {
        lengths[table + "." + ToLowerAscii(token)] = std::stoi(std::string(tokens[j + 3]));
      }
      at_start = false;
    }
  }
  return lengths;
}

void CheckStoredTexts(std::string_view backend, std::string_view sql, const Params& params,
                      const DeclaredLengths& lengths) {
  const std::vector<Target>& targets = TargetsOf(sql);
  for (const Target& target : targets) {
    const std::string* stored = target.param < params.size() ? params[target.param].TryGet<std::string>() : nullptr;
    if (stored == nullptr) continue;
    const std::string& text = *stored;
    auto declared = lengths.find(target.key);
    if (text.find('\0') != std::string::npos) {
      throw DatabaseError(backend, "The value for column '" + target.column + "' of table '" + target.table +
                                       "' holds a NUL character, which no text column stores.");
    }
    if (declared == lengths.end() || text.size() <= static_cast<size_t>(declared->second)) continue;
    size_t characters = CharacterCount(text);
    if (characters <= static_cast<size_t>(declared->second)) continue;
    throw DatabaseError(backend, "String or binary data would be truncated in table '" + target.table +
                                     "', column '" + target.column + "': the value has " +
                                     std::to_string(characters) + " characters, the column holds " +
                                     std::to_string(declared->second) + ".");
  }
  // A NUL anywhere else (a condition's value) would be cut by one backend
  // and kept by the other, so it goes no further either.
  for (const Variant& value : params) {
    const std::string* text = value.TryGet<std::string>();
    if (text != nullptr && text->find('\0') != std::string::npos) {
      throw DatabaseError(backend, "A value of the statement holds a NUL character, which no text column stores.");
    }
  }
}

}  // namespace lxm

#include "test_support/database_dump.h"

#include <algorithm>
#include <vector>

#include "platform/convert.h"
#include "test_support/scratch_account.h"

namespace lxm::test {

namespace {

std::string CellText(const Variant& value) {
  if (value.IsNull()) return "<null>";
  if (const Bytes* bytes = value.TryGet<Bytes>()) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (uint8_t byte : *bytes) {
      text += kHex[byte >> 4];
      text += kHex[byte & 0x0F];
    }
    return text;
  }
  return CStr(value);
}

}  // namespace

std::string DumpDatabase(const std::function<Recordset(const std::string&)>& query) {
  std::string dump;
  Recordset tables = query(OnPostgres() ? "SELECT table_name FROM information_schema.tables "
                                          "WHERE table_schema = current_schema() AND table_type = 'BASE TABLE' "
                                          "ORDER BY table_name"
                                        : "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE "
                                          "'sqlite_%' ORDER BY name");
  for (; !tables.Eof(); tables.MoveNext()) {
    std::string table = tables.Value(size_t{0}).AsString();
    dump += "[" + table + "]\n";
    // Rows sorted as text: neither engine keeps a row order both share.
    std::vector<std::string> lines;
    Recordset rows = query("SELECT * FROM " + table);
    for (; !rows.Eof(); rows.MoveNext()) {
      std::string line;
      for (size_t i = 0; i < rows.Fields().size(); ++i) line += (i > 0 ? "|" : "") + CellText(rows.Value(i));
      lines.push_back(std::move(line));
    }
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines) dump += line + "\n";
  }
  return dump;
}

}  // namespace lxm::test

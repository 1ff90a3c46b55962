#include "test_support/database_dump.h"

#include "platform/convert.h"

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
  Recordset tables = query("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' "
                           "ORDER BY name");
  for (; !tables.Eof(); tables.MoveNext()) {
    std::string table = tables.Value(size_t{0}).AsString();
    dump += "[" + table + "]\n";
    Recordset rows = query("SELECT * FROM " + table + " ORDER BY rowid");
    for (; !rows.Eof(); rows.MoveNext()) {
      for (size_t i = 0; i < rows.Fields().size(); ++i) dump += (i > 0 ? "|" : "") + CellText(rows.Value(i));
      dump += "\n";
    }
  }
  return dump;
}

}  // namespace lxm::test

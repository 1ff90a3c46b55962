#include "platform/db/connect_string.h"

#include "platform/com_error.h"

namespace lxm {

namespace {

ComError ProviderNotFound() {
  return ComError(-2146824582, "ADODB.Connection",
                  "Provider cannot be found. It may not be properly installed.");
}

}  // namespace

std::string ConnectString::Get(std::string_view name) const {
  auto it = properties.find(std::string(name));
  return it == properties.end() ? std::string() : it->second;
}

ConnectString ParseConnectString(std::string_view text) {
  ConnectString result;
  result.text = std::string(text);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t equals = text.find('=', pos);
    size_t semicolon = text.find(';', pos);
    if (equals == std::string_view::npos || (semicolon != std::string_view::npos && semicolon < equals)) {
      // A segment without "=": nothing to keep.
      if (semicolon == std::string_view::npos) break;
      pos = semicolon + 1;
      continue;
    }
    std::string name(TrimSpaces(text.substr(pos, equals - pos)));
    pos = equals + 1;
    while (pos < text.size() && text[pos] == ' ') ++pos;
    std::string value;
    if (pos < text.size() && text[pos] == '{') {
      size_t close = text.find('}', pos + 1);
      if (close == std::string_view::npos) close = text.size();
      value = std::string(text.substr(pos + 1, close - pos - 1));
      size_t next = text.find(';', close);
      pos = next == std::string_view::npos ? text.size() : next + 1;
    } else {
      size_t next = text.find(';', pos);
      if (next == std::string_view::npos) next = text.size();
      value = std::string(TrimSpaces(text.substr(pos, next - pos)));
      pos = next + 1;
    }
    if (!name.empty()) result.properties[name] = value;
  }
  std::string provider = result.Get("Provider");
  if (EqualsIgnoreCase(provider, "SQLite")) {
    result.backend = Backend::kSQLite;
  } else if (EqualsIgnoreCase(provider, "PostgreSQL")) {
    result.backend = Backend::kPostgreSQL;
  } else {
    throw ProviderNotFound();
  }
  return result;
}

std::string SQLiteConnectString(std::string_view path) {
  return "Provider=SQLite;Data Source=" + std::string(path);
}

}  // namespace lxm

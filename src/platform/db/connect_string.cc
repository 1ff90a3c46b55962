#include "platform/db/connect_string.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "platform/com_error.h"
#include "platform/db/redacted_connect_string.h"

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

std::string WithoutPassword(std::string text, std::string_view password) {
  if (password.empty()) return text;
  constexpr std::string_view kHidden = "***";
  // Searching on after the replacement: a password of stars stays found once.
  for (size_t at = text.find(password); at != std::string::npos;
       at = text.find(password, at + kHidden.size())) {
    text.replace(at, password.size(), kHidden);
  }
  return text;
}

std::string RedactedConnectString(const ConnectString& connect_string) {
  return WithoutPassword(connect_string.text, connect_string.Get("Password"));
}

std::string SQLiteConnectString(std::string_view path) {
  return "Provider=SQLite;Data Source=" + std::string(path);
}

std::string NormalisedDatabasePath(std::string_view path) {
  std::error_code ec;
  std::filesystem::path resolved = std::filesystem::absolute(path, ec);
  if (!ec) resolved = std::filesystem::weakly_canonical(resolved, ec);
  return ec ? std::string(path) : resolved.string();
}

std::string DatabaseIdentity(const ConnectString& connect_string) {
  if (connect_string.backend == Backend::kSQLite) {
    return "sqlite:" + NormalisedDatabasePath(connect_string.data_source());
  }
  std::map<std::string, std::string> sorted;
  for (const auto& [name, value] : connect_string.properties) sorted[ToLowerAscii(name)] = value;
  sorted.erase("provider");
  std::string identity = "postgresql";
  for (const auto& [name, value] : sorted) {
    // Lengths first, so that no value can pass for a name.
    identity += ":" + std::to_string(name.size()) + "=" + name + std::to_string(value.size()) + "=" + value;
  }
  return identity;
}

}  // namespace lxm

#include "server/request_origin.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include <boost/asio/ip/address.hpp>

#include "platform/text_util.h"

namespace lxm::server {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// A "Host" or an origin's authority: a name (in lower case, without a final
// dot) or an address (IPv6 in brackets), and the port when one is given.
struct Authority {
  std::string name;
  std::string port;  // digits, or empty
  bool address = false;
};

std::optional<Authority> ParseAuthority(std::string_view text) {
  Authority authority;
  std::string_view rest;
  if (!text.empty() && text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    boost::system::error_code error;
    boost::asio::ip::make_address_v6(std::string(text.substr(1, close - 1)), error);
    if (error) return std::nullopt;
    authority.name = Lower(text.substr(0, close + 1));
    authority.address = true;
    rest = text.substr(close + 1);
  } else {
    size_t colon = text.find(':');
    std::string_view name = text.substr(0, colon);
    if (colon != std::string_view::npos) rest = text.substr(colon);
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    if (name.empty()) return std::nullopt;
    for (char c : name) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_') return std::nullopt;
    }
    authority.name = Lower(name);
    boost::system::error_code error;
    boost::asio::ip::make_address_v4(authority.name, error);
    authority.address = !error;
  }
  if (!rest.empty()) {
    if (rest.front() != ':' || rest.size() == 1 || rest.size() > 6) return std::nullopt;
    authority.port = std::string(rest.substr(1));
    for (char c : authority.port) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
  }
  return authority;
}

// The port, or the scheme's own.
std::string PortOr(const Authority& authority, std::string_view scheme) {
  if (!authority.port.empty()) return authority.port;
  return scheme == "https" ? "443" : "80";
}

const std::string& MachineName() {
  static const std::string name = [] {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return std::string();
    return Lower(buffer);
  }();
  return name;
}

bool IsKnownName(const OriginPolicy& policy, const Authority& host) {
  if (host.address) return true;
  const std::string& name = host.name;
  if (name == "localhost" || (name.size() > 10 && name.compare(name.size() - 10, 10, ".localhost") == 0)) return true;
  if (!MachineName().empty() && name == MachineName()) return true;
  return std::any_of(policy.server_names.begin(), policy.server_names.end(),
                     [&](const std::string& known) { return EqualsIgnoreCase(known, name); });
}

// The allowed origin `origin` is, or nothing.
const std::string* AllowedOrigin(const OriginPolicy& policy, std::string_view origin) {
  for (const std::string& allowed : policy.allowed_origins) {
    std::string_view trimmed = allowed;
    while (!trimmed.empty() && trimmed.back() == '/') trimmed.remove_suffix(1);
    if (EqualsIgnoreCase(trimmed, origin)) return &allowed;
  }
  return nullptr;
}

// True when `origin` names the request's own "Host". Either scheme counts,
// as a proxy in front may serve HTTPS for this server; a "Host" without a
// port (as a proxy forwards it) matches the name on any port.
bool IsOwnOrigin(std::string_view origin, const Authority& host) {
  size_t separator = origin.find("://");
  if (separator == std::string_view::npos) return false;
  std::string scheme = Lower(origin.substr(0, separator));
  if (scheme != "http" && scheme != "https") return false;
  std::optional<Authority> named = ParseAuthority(origin.substr(separator + 3));
  if (!named || named->name != host.name) return false;
  return host.port.empty() || PortOr(*named, scheme) == host.port;
}

OriginVerdict Refuse(int status, std::string kind, std::string description) {
  OriginVerdict verdict;
  verdict.status = status;
  verdict.kind = std::move(kind);
  verdict.description = std::move(description);
  return verdict;
}

}  // namespace

OriginVerdict CheckRequestSource(const OriginPolicy& policy, const RequestSource& source, bool page_only) {
  std::optional<Authority> host;
  if (!source.host.empty()) {
    host = ParseAuthority(source.host);
    if (!host || !IsKnownName(policy, *host)) {
      return Refuse(421, "misdirected_request",
                    "This server does not answer to the name the request's Host gives; an operator lists the "
                    "names it is reached by in server_names.");
    }
  } else if (!source.http10) {
    return Refuse(400, "bad_request", "The request has no Host field.");
  }
  if (page_only) return {};

  OriginVerdict verdict;
  const std::string* allowed = nullptr;
  if (source.has_origin) {
    allowed = AllowedOrigin(policy, source.origin);
    if (allowed == nullptr && !(host && IsOwnOrigin(source.origin, *host))) {
      return Refuse(403, "forbidden_origin",
                    "Calls from the web page of another site are refused; an operator lists the sites that may "
                    "call in allowed_origins.");
    }
  }
  if (EqualsIgnoreCase(source.fetch_site, "cross-site") && allowed == nullptr) {
    return Refuse(403, "forbidden_origin", "Calls that another site's page starts are refused.");
  }
  // The browser compares the origin as it sent it.
  if (allowed != nullptr) {
    verdict.cors_fields = "Access-Control-Allow-Origin: " + std::string(source.origin) + "\r\nVary: Origin\r\n";
  }
  return verdict;
}

std::string PreflightFields(const OriginVerdict& verdict) {
  if (verdict.cors_fields.empty()) return {};
  return verdict.cors_fields +
         "Access-Control-Allow-Methods: GET, POST\r\n"
         "Access-Control-Allow-Headers: Authorization, Content-Type\r\n"
         "Access-Control-Max-Age: 600\r\n";
}

bool IsJsonMediaType(std::string_view content_type) {
  std::string_view type = TrimSpaces(content_type.substr(0, content_type.find(';')));
  return EqualsIgnoreCase(type, "application/json");
}

}  // namespace lxm::server

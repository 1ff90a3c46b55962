// Where a request comes from: the checks that keep web pages of other sites
// (cross-site request forgery) and names rebound to this machine (DNS
// rebinding) from driving the service through a visitor's browser.
//
// A browser says where a request comes from in "Origin" (sent with every
// POST and every cross-origin call) and "Sec-Fetch-Site"; it names the
// server as the page's address bar does in "Host". The host refuses:
// - a "Host" that names neither an address (an IP literal cannot be rebound),
//   nor a loopback name ("localhost", "*.localhost"), nor this machine's own
//   name, nor one of `server_names`: 421;
// - an "Origin" that is neither the server's own (the "Host" of the
//   request, by HTTP or by HTTPS, as a proxy in front may serve it) nor one
//   of `allowed_origins` ("null" included): 403;
// - "Sec-Fetch-Site: cross-site" unless the origin is allowed: 403.
// A call (POST /rpc/...) must be sent as "application/json" (415 otherwise):
// a browser sends that type across origins only after a preflight, which
// an origin not allowed never passes.
//
// Thread-safety: stateless; safe from any thread.
#ifndef LXM_SERVER_REQUEST_ORIGIN_H_
#define LXM_SERVER_REQUEST_ORIGIN_H_

#include <string>
#include <string_view>
#include <vector>

namespace lxm::server {

struct OriginPolicy {
  // Origins ("https://erp.example.com", "http://10.0.0.5:3000") whose pages
  // may call the service; compared without regard to letter case.
  std::vector<std::string> allowed_origins;
  // Names the service is reached by, besides addresses, loopback names and
  // the machine's own name ("erp.example.com").
  std::vector<std::string> server_names;
};

// What a request's headers say about where it comes from.
struct RequestSource {
  std::string_view host;        // "Host"; empty when absent
  bool has_origin = false;
  std::string_view origin;      // "Origin"
  std::string_view fetch_site;  // "Sec-Fetch-Site"; empty when absent
  bool http10 = false;          // HTTP/1.0 may leave "Host" out
};

struct OriginVerdict {
  int status = 0;  // 0: let in; else the HTTP status to refuse with
  std::string kind;
  std::string description;
  // For an allowed foreign origin: the fields that let its page read the
  // reply ("Access-Control-Allow-Origin" ...), each ending in CR LF.
  std::string cors_fields;
};

// The verdict on a request. `page_only` requests (the web page's files, /health) are checked for their
// "Host" alone: loading the page from a link of another site is harmless.
OriginVerdict CheckRequestSource(const OriginPolicy& policy, const RequestSource& source, bool page_only);

// The fields of a preflight's reply (OPTIONS) for an allowed origin, each
// ending in CR LF; empty for any other, which the browser then refuses.
std::string PreflightFields(const OriginVerdict& verdict);

// True for "application/json", parameters (";charset=utf-8") and letter
// case aside.
bool IsJsonMediaType(std::string_view content_type);

}  // namespace lxm::server

#endif  // LXM_SERVER_REQUEST_ORIGIN_H_

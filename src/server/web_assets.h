// The web page's files (web/: the page, its script and its style sheet),
// built into the executable at build time so that `serve` needs no files
// beside it. The generated source (web_assets_data.cc) holds the bytes.
#ifndef LXM_SERVER_WEB_ASSETS_H_
#define LXM_SERVER_WEB_ASSETS_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace lxm::server {

struct WebAsset {
  std::string_view path;  // "/" is the page
  std::string_view content_type;
  std::string_view body;
};

// The header lines sent with every asset. The page runs script and style
// from this origin only: no inline code, nothing from elsewhere, no framing.
inline constexpr std::string_view kWebAssetFields =
    "Content-Security-Policy: default-src 'self'; script-src 'self'; style-src 'self'; "
    "img-src 'self' data:; connect-src 'self'; object-src 'none'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Cache-Control: no-cache\r\n";

// The asset served at `path` (without its query), or null.
const WebAsset* FindWebAsset(std::string_view path);

// The asset's bytes as a reply piece, made once: a GET sends them without
// a copy.
std::shared_ptr<const std::string> WebAssetBytes(const WebAsset& asset);

}  // namespace lxm::server

#endif  // LXM_SERVER_WEB_ASSETS_H_

#include "server/web_assets.h"

#include <vector>

namespace lxm::server {

// Defined by the generated source.
extern const WebAsset kWebAssets[];
extern const size_t kWebAssetCount;

const WebAsset* FindWebAsset(std::string_view path) {
  for (size_t i = 0; i < kWebAssetCount; ++i) {
    if (kWebAssets[i].path == path) return &kWebAssets[i];
  }
  return nullptr;
}

std::shared_ptr<const std::string> WebAssetBytes(const WebAsset& asset) {
  static const std::vector<std::shared_ptr<const std::string>> bytes = [] {
    std::vector<std::shared_ptr<const std::string>> all;
    for (size_t i = 0; i < kWebAssetCount; ++i) {
      all.push_back(std::make_shared<const std::string>(kWebAssets[i].body));
    }
    return all;
  }();
  return bytes[static_cast<size_t>(&asset - kWebAssets)];
}

}  // namespace lxm::server

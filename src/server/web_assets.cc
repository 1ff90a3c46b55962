#include "server/web_assets.h"

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

}  // namespace lxm::server

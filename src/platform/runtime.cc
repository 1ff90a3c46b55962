#include "platform/runtime.h"

#include "platform/resource_loader.h"

namespace lxm {

Runtime::Runtime(const RuntimeOptions& options)
    : cache_store_(std::make_shared<CacheStore>(options.cache_max_bytes)),
      registry_(options.registry != nullptr ? options.registry : std::make_shared<const RegistryData>()),
      installation_(options.installation),
      commands_(options.commands) {
  RegisterDefaultComponents(components_, cache_store_, registry_);
}

Runtime& Runtime::Default() {
  static Runtime* runtime = new Runtime();  // lives as long as the process
  return *runtime;
}

void RegisterDefaultComponents(ComponentFactory& factory, std::shared_ptr<CacheStore> cache_store,
                               std::shared_ptr<const RegistryData> registry) {
  factory.Register(ResourceLoader::kProgID, [] { return std::make_shared<ResourceLoader>(); });
  factory.Register(CacheService::kProgID,
                   [cache_store] { return std::make_shared<CacheService>(cache_store); });
  factory.Register(RegistryReader::kProgID, [registry] { return std::make_shared<RegistryReader>(registry); });
}

}  // namespace lxm

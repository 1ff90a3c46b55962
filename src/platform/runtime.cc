#include "platform/runtime.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>

#include "platform/resource_loader.h"
#include "server/refresh_callout.h"

namespace lxm {

Runtime::Runtime(const RuntimeOptions& options)
    : cache_store_(std::make_shared<CacheStore>(options.cache_max_bytes)),
      registry_(options.registry != nullptr ? options.registry : std::make_shared<const RegistryData>()),
      installation_(options.installation),
      file_bytes_(options.installation.max_file_bytes_in_flight),
      commands_(options.commands) {
  // No file larger than all replies together may hold is served.
  installation_.max_file_bytes = std::min(installation_.max_file_bytes, installation_.max_file_bytes_in_flight);
  RegisterDefaultComponents(components_, cache_store_, registry_);
  server::RegisterRefreshCallouts(components_, options.refresh_callouts);
}

namespace {

std::mutex default_mutex;
RuntimeOptions* default_options = nullptr;  // GUARDED_BY(default_mutex)
// Written once under default_mutex; lives as long as the process.
std::atomic<Runtime*> default_runtime = nullptr;

}  // namespace

Runtime& Runtime::Default() {
  Runtime* runtime = default_runtime.load(std::memory_order_acquire);
  if (runtime != nullptr) return *runtime;
  std::lock_guard<std::mutex> lock(default_mutex);
  runtime = default_runtime.load(std::memory_order_relaxed);
  if (runtime == nullptr) {
    runtime = new Runtime(default_options != nullptr ? *default_options : RuntimeOptions());
    default_runtime.store(runtime, std::memory_order_release);
  }
  return *runtime;
}

void Runtime::SetDefaultOptions(const RuntimeOptions& options) {
  std::lock_guard<std::mutex> lock(default_mutex);
  if (default_runtime.load() != nullptr) {
    throw std::logic_error("The process's runtime is already in use; set its options first.");
  }
  delete default_options;
  default_options = new RuntimeOptions(options);
}

void RegisterDefaultComponents(ComponentFactory& factory, std::shared_ptr<CacheStore> cache_store,
                               std::shared_ptr<const RegistryData> registry) {
  factory.Register(ResourceLoader::kProgID, [] { return std::make_shared<ResourceLoader>(); });
  factory.Register(CacheService::kProgID,
                   [cache_store] { return std::make_shared<CacheService>(cache_store); });
  factory.Register(RegistryReader::kProgID, [registry] { return std::make_shared<RegistryReader>(registry); });
}

}  // namespace lxm

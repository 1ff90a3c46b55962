// Runtime: the services a process shares between calls: the database pools
// and the component factory (and through it the cache service, the resource
// loader and the other outside components).
//
// Public objects are created with a Runtime; the default constructor of each
// uses Runtime::Default(), the process's own. Tests make their own Runtime to
// isolate pools and components.
//
// Thread-safety: every member is safe to use from any thread.
#ifndef LXM_PLATFORM_RUNTIME_H_
#define LXM_PLATFORM_RUNTIME_H_

#include <cstddef>
#include <memory>

#include "platform/cache_service.h"
#include "platform/component_factory.h"
#include "platform/db/database.h"

namespace lxm {

struct RuntimeOptions {
  size_t cache_max_bytes = CacheStore::kDefaultMaxBytes;
};

class Runtime {
 public:
  // A runtime with the default components registered.
  explicit Runtime(const RuntimeOptions& options = {});
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  static Runtime& Default();

  DatabaseRegistry& databases() { return databases_; }
  ComponentFactory& components() { return components_; }
  // The store behind the "SpindleCache.CacheFacade" objects of this runtime.
  CacheStore& cache_store() { return *cache_store_; }

 private:
  DatabaseRegistry databases_;
  ComponentFactory components_;
  std::shared_ptr<CacheStore> cache_store_;
};

// Registers the default implementation of every outside component; the cache
// facade hands out `cache_store`.
void RegisterDefaultComponents(ComponentFactory& factory, std::shared_ptr<CacheStore> cache_store);

}  // namespace lxm

#endif  // LXM_PLATFORM_RUNTIME_H_

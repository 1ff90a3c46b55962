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
#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_budget.h"
#include "platform/cache_service.h"
#include "platform/command_runner.h"
#include "platform/component_factory.h"
#include "platform/db/database.h"
#include "platform/refresh_component.h"
#include "platform/registry.h"
#include "platform/shared_properties.h"

namespace lxm {

// Where the installation lives on this machine; each is optional (see
// environment/installation_paths.h for how they are used).
struct InstallationSettings {
  std::string executable_path;  // empty: this process's own executable
  std::string install_root;     // used when the directories and the registry tell nothing
  std::string edition;          // edition name for that root ("R8STANDARD", ...)
  std::string patch_dir;        // empty: "ZQPatchs/" under the installation root
  // The only folders whose files the service hands to clients (pictures,
  // patches, the file helpers); none means no file is served.
  std::vector<std::string> file_roots;
  // Files larger than this read as missing (capped at
  // max_file_bytes_in_flight).
  int64_t max_file_bytes = 64 * 1024 * 1024;
  // The bytes of files that the replies of all calls may hold at once; a
  // call whose file would pass it waits up to `file_wait_ms` for others to
  // be sent, then fails.
  int64_t max_file_bytes_in_flight = 256 * 1024 * 1024;
  int file_wait_ms = 10000;
};

struct RuntimeOptions {
  size_t cache_max_bytes = CacheStore::kDefaultMaxBytes;
  // What "PLX.Reg" reads; none means every read gives its default.
  std::shared_ptr<const RegistryData> registry;
  InstallationSettings installation;
  // The command lines ExecCmd may run; none by default.
  CommandSettings commands;
  // Refresh components served over HTTP, by ProgID.
  std::vector<RefreshCalloutSettings> refresh_callouts;
};

class Runtime {
 public:
  // A runtime with the default components registered.
  explicit Runtime(const RuntimeOptions& options = {});
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // The process's own runtime, made with the options given to
  // SetDefaultOptions() (or the defaults) at its first use.
  static Runtime& Default();
  // Sets the options of Default(); std::logic_error once it has been made.
  static void SetDefaultOptions(const RuntimeOptions& options);

  DatabaseRegistry& databases() { return databases_; }
  ComponentFactory& components() { return components_; }
  // The store behind the "SpindleCache.CacheFacade" objects of this runtime.
  CacheStore& cache_store() { return *cache_store_; }
  // The registry behind the "PLX.Reg" objects of this runtime (never null).
  const std::shared_ptr<const RegistryData>& registry() const { return registry_; }
  const InstallationSettings& installation() const { return installation_; }
  // The budget of InstallationSettings::max_file_bytes_in_flight.
  ByteBudget& file_bytes() { return file_bytes_; }
  const CommandSettings& commands() const { return commands_; }
  // The process's shared property groups.
  SharedProperties& shared_properties() { return shared_properties_; }

 private:
  DatabaseRegistry databases_;
  ComponentFactory components_;
  std::shared_ptr<CacheStore> cache_store_;
  std::shared_ptr<const RegistryData> registry_;
  InstallationSettings installation_;
  ByteBudget file_bytes_;
  CommandSettings commands_;
  SharedProperties shared_properties_;
};

// Registers the default implementation of every outside component; the cache
// facade hands out `cache_store`, the registry reader reads `registry`.
void RegisterDefaultComponents(ComponentFactory& factory, std::shared_ptr<CacheStore> cache_store,
                               std::shared_ptr<const RegistryData> registry);

}  // namespace lxm

#endif  // LXM_PLATFORM_RUNTIME_H_

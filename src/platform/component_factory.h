// ComponentFactory: creation of outside components by ProgID, as COM did.
//
// Each outside component is an interface with a default implementation
// registered under its ProgID (runtime.cc). Creating an unknown ProgID raises
// error 429, as COM's creation failure. Tests register their own
// implementations or remove one to see the failure.
//
// Thread-safety: safe from any thread.
#ifndef LXM_PLATFORM_COMPONENT_FACTORY_H_
#define LXM_PLATFORM_COMPONENT_FACTORY_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/com_error.h"
#include "platform/text_util.h"
#include "platform/variant.h"

namespace lxm {

class ComponentFactory {
 public:
  using Creator = std::function<std::shared_ptr<Object>()>;

  ComponentFactory();

  // Unique per factory of the process, also after another was destroyed:
  // per-thread caches of created objects key on it.
  uint64_t id() const { return id_; }

  void Register(std::string_view prog_id, Creator creator);
  void Unregister(std::string_view prog_id);
  bool IsRegistered(std::string_view prog_id) const;

  // A new object; error 429 when the ProgID is not registered or its creator
  // fails.
  std::shared_ptr<Object> Create(std::string_view prog_id) const;

  // Create() cast to the interface T; error 429 when the object is not a T.
  template <typename T>
  std::shared_ptr<T> CreateAs(std::string_view prog_id) const {
    std::shared_ptr<T> typed = std::dynamic_pointer_cast<T>(Create(prog_id));
    if (typed == nullptr) throw RuntimeError(errors::kCannotCreateObject);
    return typed;
  }

 private:
  const uint64_t id_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Creator, CaseInsensitiveHash, CaseInsensitiveEqual>
      creators_;  // GUARDED_BY(mutex_)
};

}  // namespace lxm

#endif  // LXM_PLATFORM_COMPONENT_FACTORY_H_

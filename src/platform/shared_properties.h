// SharedProperties: process-wide named values in groups, what COM+'s shared
// property manager ("MtxSpm.SharedPropertyGroupManager.1") gave components:
// something worked out once (the installation's edition, a database's
// capabilities) and then read by every call on every thread.
//
// Thread-safety: safe from any thread. A value is made at most once per group
// and name; callers of that value that arrive meanwhile wait for it, callers
// of other values do not.
#ifndef LXM_PLATFORM_SHARED_PROPERTIES_H_
#define LXM_PLATFORM_SHARED_PROPERTIES_H_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/variant.h"

namespace lxm {

class SharedProperties {
 public:
  // The value of `name` in `group`, made by `make` on first use. When `make`
  // raises, nothing is kept and the error reaches the caller; the next caller
  // tries again.
  Variant GetOrMake(std::string_view group, std::string_view name, const std::function<Variant()>& make);

 private:
  struct Entry {
    std::mutex mutex;              // held while the value is made
    std::optional<Variant> value;  // GUARDED_BY(mutex)
  };

  std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, std::shared_ptr<Entry>> entries_;  // GUARDED_BY(mutex_)
};

}  // namespace lxm

#endif  // LXM_PLATFORM_SHARED_PROPERTIES_H_

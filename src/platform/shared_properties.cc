#include "platform/shared_properties.h"

namespace lxm {

Variant SharedProperties::GetOrMake(std::string_view group, std::string_view name,
                                    const std::function<Variant()>& make) {
  std::shared_ptr<Entry> entry;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Entry>& slot = entries_[std::make_pair(std::string(group), std::string(name))];
    if (slot == nullptr) slot = std::make_shared<Entry>();
    entry = slot;
  }
  // Made under the entry's own lock: a slow database holds back only the
  // callers of its own values.
  std::lock_guard<std::mutex> lock(entry->mutex);
  if (!entry->value.has_value()) entry->value = make();
  return *entry->value;
}

}  // namespace lxm

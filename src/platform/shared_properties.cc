#include "platform/shared_properties.h"

namespace lxm {

Variant SharedProperties::GetOrMake(std::string_view group, std::string_view name,
                                    const std::function<Variant()>& make) {
  // One lock for making too: values are few and cheap to make, and a second
  // caller must not make the same value again.
  std::lock_guard<std::mutex> lock(mutex_);
  auto key = std::make_pair(std::string(group), std::string(name));
  auto it = values_.find(key);
  if (it != values_.end()) return it->second;
  Variant value = make();
  values_.emplace(std::move(key), value);
  return value;
}

}  // namespace lxm

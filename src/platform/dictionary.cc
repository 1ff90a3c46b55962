#include "platform/dictionary.h"

#include "platform/com_error.h"

namespace lxm {

const std::string& Dictionary::KeyAt(int32_t position) const {
  if (position < 1 || position > Count()) {
    throw RuntimeError(errors::kSubscriptOutOfRange);
  }
  return entries_[static_cast<size_t>(position - 1)].first;
}

bool Dictionary::Exists(std::string_view key) const {
  return index_.find(std::string(key)) != index_.end();
}

const Variant& Dictionary::Item(std::string_view key) const {
  auto it = index_.find(std::string(key));
  if (it == index_.end()) throw RuntimeError(errors::kInvalidCall);
  return entries_[it->second].second;
}

void Dictionary::Set(std::string_view key, Variant value) {
  std::string owned(key);
  auto it = index_.find(owned);
  if (it != index_.end()) {
    entries_[it->second].second = std::move(value);
    return;
  }
  index_.emplace(owned, entries_.size());
  entries_.emplace_back(std::move(owned), std::move(value));
}

bool Dictionary::Lookup(std::string_view key, Variant* value) const {
  auto it = index_.find(std::string(key));
  if (it == index_.end()) return false;
  *value = entries_[it->second].second;
  return true;
}

Variant Dictionary::ValueOr(std::string_view key, Variant fallback) const {
  auto it = index_.find(std::string(key));
  if (it == index_.end()) return fallback;
  return entries_[it->second].second;
}

bool Dictionary::Remove(std::string_view key) {
  auto it = index_.find(std::string(key));
  if (it == index_.end()) return false;
  size_t position = it->second;
  index_.erase(it);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  for (auto& [name, slot] : index_) {
    if (slot > position) --slot;
  }
  return true;
}

const Variant& Vector::Item(int32_t position) const {
  if (position < 1 || position > Count()) {
    throw RuntimeError(errors::kSubscriptOutOfRange);
  }
  return items_[static_cast<size_t>(position - 1)];
}

}  // namespace lxm

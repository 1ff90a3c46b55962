// Dictionary (ProgID "PLX.Dictionary"): an ordered map from text keys to
// Variants.
//
// Keys are case-sensitive and keep insertion order; replacing a value keeps
// the key's position. Reading a missing key with Item() raises error 5;
// Lookup() and ValueOr() tolerate it.
//
// Thread-safety: none; a Dictionary belongs to one call at a time. Snapshot
// dictionaries handed out by the cache are never changed after they are
// stored.
#ifndef LXM_PLATFORM_DICTIONARY_H_
#define LXM_PLATFORM_DICTIONARY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/variant.h"

namespace lxm {

class Dictionary {
 public:
  inline static constexpr std::string_view kProgID = "PLX.Dictionary";

  static std::shared_ptr<Dictionary> Create() {
    return std::make_shared<Dictionary>();
  }

  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }

  // Key at a 1-based position; error 9 outside 1..Count().
  const std::string& KeyAt(int32_t position) const;

  bool Exists(std::string_view key) const;

  // The value stored under key; error 5 when there is none.
  const Variant& Item(std::string_view key) const;

  // Creates the entry or replaces its value (keeping its position).
  void Set(std::string_view key, Variant value);

  // True and the value when the key exists; false and `value` untouched
  // otherwise.
  bool Lookup(std::string_view key, Variant* value) const;

  // The stored value, or `fallback` when the key is absent.
  Variant ValueOr(std::string_view key, Variant fallback) const;

  bool Remove(std::string_view key);

  // Entries in insertion order.
  const std::vector<std::pair<std::string, Variant>>& entries() const {
    return entries_;
  }

 private:
  std::vector<std::pair<std::string, Variant>> entries_;
  std::unordered_map<std::string, size_t> index_;
};

// Vector ("PLX.Vector"): an ordered list of Variants, 1-based.
class Vector {
 public:
  static std::shared_ptr<Vector> Create() { return std::make_shared<Vector>(); }

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  void Append(Variant item) { items_.push_back(std::move(item)); }
  // Item at a 1-based position; error 9 outside 1..Count().
  const Variant& Item(int32_t position) const;

  const std::vector<Variant>& items() const { return items_; }

 private:
  std::vector<Variant> items_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_DICTIONARY_H_

// KeptValues: small values derived from a database's content (its version
// stamps), kept with a pooled handle from one call to the next for as long
// as that content is unchanged, so that a warm call need not read them.
//
// Each value is kept with the content version it was read at
// (NativeConnection::ContentVersion); asking with another version forgets
// them all. Transaction::FindKept and Keep are the only users: they make
// sure nothing read inside a transaction that wrote is kept.
//
// Thread-safety: belongs to its handle, used by one thread at a time.
#ifndef LXM_PLATFORM_DB_KEPT_VALUES_H_
#define LXM_PLATFORM_DB_KEPT_VALUES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/text_util.h"

namespace lxm {

class KeptValues {
 public:
  // The value kept under `key` at `version`, or nullptr.
  const std::string* Find(uint64_t version, std::string_view key) {
    if (version_ != version) {
      Reset(version);
      return nullptr;
    }
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
  }

  void Put(uint64_t version, std::string_view key, std::string value) {
    if (version_ != version || values_.size() >= kMaxValues) Reset(version);
    values_.insert_or_assign(std::string(key), std::move(value));
  }

  void Clear() { Reset(std::nullopt); }

  // A bound on the values kept per handle (a stamp per user who called).
  static constexpr size_t kMaxValues = 4096;

 private:
  void Reset(std::optional<uint64_t> version) {
    version_ = version;
    values_.clear();
  }

  std::optional<uint64_t> version_;
  std::unordered_map<std::string, std::string, TransparentStringHash, std::equal_to<>> values_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_KEPT_VALUES_H_

// The registry the suite's components read ("PLX.Reg"), kept here in a file.
//
// This platform has no system registry: the keys and values the service reads
// (product paths, module flags, class registrations) come from a JSON file
// named in the server's configuration, one object per key, each mapping value
// names to values:
//
//   {
//     "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQPRODUCT\\XSE": {"Path": "/opt/velmora/R8STANDARD"},
//     "HKEY_CLASSES_ROOT\\Acme.Thing\\Clsid": {"": "{6F1A...}"}
//   }
//
// Key paths and value names compare without regard to case, as the Windows
// registry compares them; trailing backslashes of a key path are ignored; the
// empty value name is the key's default value. A value is text or an integer.
//
// Thread-safety: loaded data is immutable; readers may be used from any thread.
#ifndef LXM_PLATFORM_REGISTRY_H_
#define LXM_PLATFORM_REGISTRY_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/text_util.h"
#include "platform/variant.h"

namespace lxm {

class RegistryData {
 public:
  // No keys at all: every read gives its default.
  RegistryData() = default;

  // Parses the JSON text; `origin` names it in errors. Raises
  // errors::kInvalidCall with a description naming the origin and the
  // offending key when the text is not such an object.
  static std::shared_ptr<const RegistryData> Parse(std::string_view text, std::string_view origin);
  // Reads and parses a file; a missing or unreadable file raises
  // errors::kInvalidCall naming it.
  static std::shared_ptr<const RegistryData> LoadFile(const std::string& path);

  // The value, when the key and the value name exist.
  std::optional<Variant> Find(std::string_view key, std::string_view value_name) const;

 private:
  using Values = std::unordered_map<std::string, Variant, CaseInsensitiveHash, CaseInsensitiveEqual>;
  std::unordered_map<std::string, Values, CaseInsensitiveHash, CaseInsensitiveEqual> keys_;
};

// "PLX.Reg": reads values of one loaded registry.
class RegistryReader : public Object {
 public:
  inline static constexpr std::string_view kProgID = "PLX.Reg";

  explicit RegistryReader(std::shared_ptr<const RegistryData> data) : data_(std::move(data)) {}

  // The value under `key` and `value_name` ("" is the key's default value),
  // or `default_value` when the key or the value is absent.
  Variant ReadValue(std::string_view key, std::string_view value_name, const Variant& default_value) const;

 private:
  std::shared_ptr<const RegistryData> data_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_REGISTRY_H_

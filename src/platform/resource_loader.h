// ResourceLoader (ProgID "R8RESLOADER.Loader"): translations of the
// service's few fixed messages.
//
// The simplified-Chinese text is the key. LoadString returns its translation
// for the current LanguageID ("cht", "en"); for "chs", and for a key or a
// language it does not know, it returns the key unchanged.
#ifndef LXM_PLATFORM_RESOURCE_LOADER_H_
#define LXM_PLATFORM_RESOURCE_LOADER_H_

#include <string>
#include <string_view>

#include "platform/variant.h"

namespace lxm {

class ResourceLoader : public Object {
 public:
  inline static constexpr std::string_view kProgID = "R8RESLOADER.Loader";

  void set_res_file_base_name(std::string name) { res_file_base_name_ = std::move(name); }
  void set_language_id(std::string language) { language_id_ = std::move(language); }
  const std::string& res_file_base_name() const { return res_file_base_name_; }
  const std::string& language_id() const { return language_id_; }

  // The message for `key` in the current language. May raise; callers
  // (LoadResString) fall back to the key.
  virtual std::string LoadString(std::string_view key) const;

 private:
  std::string res_file_base_name_;
  std::string language_id_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_RESOURCE_LOADER_H_

#include "platform/resource_loader.h"

#include <array>

#include "platform/text_util.h"

namespace lxm {

namespace {

struct Translation {
  std::string_view key;  // simplified Chinese
  std::string_view cht;
  std::string_view en;
};

// The service translates only these messages; every other key comes back as
// it is, which is also the answer for "chs".
constexpr std::array<Translation, 3> kTranslations = {{
    {"常用功能组", "常用功能組", "Favorites"},
    {"功能组已存在", "功能組已存在", "The function group already exists"},
    {"无效或错误的模板文件，请重新选择。", "無效或錯誤的範本檔案，請重新選擇。",
     "Invalid or incorrect template file. Please select again."},
}};

}  // namespace

std::string ResourceLoader::LoadString(std::string_view key) const {
  for (const Translation& entry : kTranslations) {
    if (entry.key != key) continue;
    // Language IDs name columns elsewhere, so they compare as column names.
    if (EqualsIgnoreCase(language_id_, "cht")) return std::string(entry.cht);
    if (EqualsIgnoreCase(language_id_, "en")) return std::string(entry.en);
    break;
  }
  return std::string(key);
}

}  // namespace lxm

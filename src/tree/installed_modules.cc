#include "tree/installed_modules.h"

#include <memory>
#include <string>

#include "platform/convert.h"
#include "platform/plx_global.h"

namespace lxm {

bool IsModuleInstalled(Runtime& runtime, std::string_view module_list) {
  if (module_list.empty()) return true;
  std::shared_ptr<RegistryReader> registry = PlxGlobal(runtime).Reg();
  bool installed = false;
  size_t start = 0;
  while (true) {
    size_t comma = module_list.find(',', start);
    std::string_view part = module_list.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                                        : comma - start);
    Variant value = registry->ReadValue(kInstalledModulesKey, part, Variant(""));
    if (Val(CStr(value)) == 1) installed = !part.empty();
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return installed;
}

}  // namespace lxm

#include "platform/plx_global.h"

#include "platform/format_text.h"
#include "platform/runtime.h"

namespace lxm {

std::shared_ptr<RegistryReader> PlxGlobal::Reg() const {
  return runtime_->components().CreateAs<RegistryReader>(RegistryReader::kProgID);
}

std::string PlxGlobal::FormatText(std::string_view format, const std::vector<Variant>& args) const {
  return lxm::FormatText(format, args);
}

}  // namespace lxm

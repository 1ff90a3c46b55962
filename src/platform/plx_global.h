// The foundation library's global object: always there, never created by the
// service. It hands out the registry reader and formats positional texts.
//
//   PlxGlobal global(runtime);
//   Variant flag = global.Reg()->ReadValue(key, "GL", Variant(""));
//
// Thread-safety: a value type over the runtime; safe from any thread.
#ifndef LXM_PLATFORM_PLX_GLOBAL_H_
#define LXM_PLATFORM_PLX_GLOBAL_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/variant.h"

namespace lxm {

class Runtime;

class PlxGlobal {
 public:
  explicit PlxGlobal(Runtime& runtime) : runtime_(&runtime) {}

  // A "PLX.Reg" reader, created through the component factory (so a test
  // can put its own in place); error 429 when none can be created.
  std::shared_ptr<RegistryReader> Reg() const;

  // Each "%k" (k from 1 to 5) of `format` replaced by the text of args[k-1].
  std::string FormatText(std::string_view format, const std::vector<Variant>& args) const;

 private:
  Runtime* runtime_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_PLX_GLOBAL_H_

#include "platform/format_text.h"

#include "platform/convert.h"

namespace lxm {

std::string FormatText(std::string_view format, const std::vector<Variant>& args) {
  std::string out;
  out.reserve(format.size());
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c == '%' && i + 1 < format.size() && format[i + 1] >= '1' && format[i + 1] <= '5') {
      // One pass: text substituted for %1 is never scanned for %2.
      size_t index = static_cast<size_t>(format[i + 1] - '1');
      if (index < args.size()) out += CStr(args[index]);
      ++i;
      continue;
    }
    out += c;
  }
  return out;
}

}  // namespace lxm

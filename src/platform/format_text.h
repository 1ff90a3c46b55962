// FormatText: the positional text formatter of the foundation library.
//
// Every "%k" (k from 1 to 5) in the template is replaced by the text (CStr) of
// argument k; a "%" followed by anything else stays as it is. Missing
// arguments read as empty text.
#ifndef LXM_PLATFORM_FORMAT_TEXT_H_
#define LXM_PLATFORM_FORMAT_TEXT_H_

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/variant.h"

namespace lxm {

std::string FormatText(std::string_view format, const std::vector<Variant>& args);

}  // namespace lxm

#endif  // LXM_PLATFORM_FORMAT_TEXT_H_

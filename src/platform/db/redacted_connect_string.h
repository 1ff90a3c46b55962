// The form of a connect string that may be shown: in messages, logs and
// printed examples.
#ifndef LXM_PLATFORM_DB_REDACTED_CONNECT_STRING_H_
#define LXM_PLATFORM_DB_REDACTED_CONNECT_STRING_H_

#include <string>
#include <string_view>

#include "platform/db/connect_string.h"

namespace lxm {

// The connect string as given, with every occurrence of its Password value
// replaced by "***".
std::string RedactedConnectString(const ConnectString& connect_string);

// `text` with every occurrence of `password` replaced by "***" (nothing
// replaced when the password is empty).
std::string WithoutPassword(std::string text, std::string_view password);

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_REDACTED_CONNECT_STRING_H_

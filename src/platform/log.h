// The service's log: one line per event on standard error, which the host's
// supervisor (systemd, a terminal) keeps.
//
// Thread-safety: safe from any thread; a line is written whole.
#ifndef LXM_PLATFORM_LOG_H_
#define LXM_PLATFORM_LOG_H_

#include <string_view>

namespace lxm {

void LogLine(std::string_view line);

}  // namespace lxm

#endif  // LXM_PLATFORM_LOG_H_

// The service's log: one line per event on standard error, which the host's
// supervisor (systemd, a terminal) keeps.
//
// Thread-safety: safe from any thread; a line is written whole.
#ifndef LXM_PLATFORM_LOG_H_
#define LXM_PLATFORM_LOG_H_

#include <string>
#include <string_view>

namespace lxm {

// Writes "lxmdataflow: " and the line, its control characters escaped.
void LogLine(std::string_view line);

// `text` with every control character (C0 and DEL) written as an escape:
// \n, \r, \t, and \xNN for the others (\x00 for a NUL). Text that may come
// from a caller can then neither split a log line nor hide in it.
std::string EscapeControlCharacters(std::string_view text);

}  // namespace lxm

#endif  // LXM_PLATFORM_LOG_H_

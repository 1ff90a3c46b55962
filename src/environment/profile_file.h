// Reading one value of a profile (INI) file, as the system's profile reader
// does: section and key names compare without regard to case, the first
// matching section and key win, values are trimmed of blanks, and lines
// starting with ';' are comments.
#ifndef LXM_ENVIRONMENT_PROFILE_FILE_H_
#define LXM_ENVIRONMENT_PROFILE_FILE_H_

#include <string>
#include <string_view>

namespace lxm {

// The value of `key` in `section` of the profile text, or `fallback`.
std::string ReadProfileString(std::string_view text, std::string_view section, std::string_view key,
                              std::string_view fallback);

}  // namespace lxm

#endif  // LXM_ENVIRONMENT_PROFILE_FILE_H_

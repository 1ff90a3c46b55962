// A bound on how deeply the keys of a TOML text can nest tables, checked
// before the text is parsed.
//
// toml++ bounds nested values (arrays, inline tables) but not tables made by
// dotted keys and headers ("a.b.c = 1", "[a.b.c]"): it walks those
// recursively, so a long enough chain of dots overflows the stack. Each dot
// outside strings and comments is one more table, so a line with a bounded
// number of them makes a bounded depth.
//
// Thread-safety: keeps no state.
#ifndef LXM_SERVER_TOML_KEY_DEPTH_H_
#define LXM_SERVER_TOML_KEY_DEPTH_H_

#include <string_view>

namespace lxm::server {

// Dots a line may hold outside strings and comments.
inline constexpr int kMaxKeyDotsPerLine = 64;

// The 1-based number of the first line holding more than `max_dots` dots
// outside strings and comments, or 0 when none does.
int LineWithTooManyKeyDots(std::string_view text, int max_dots = kMaxKeyDotsPerLine);

}  // namespace lxm::server

#endif  // LXM_SERVER_TOML_KEY_DEPTH_H_

// Small text helpers shared by the platform: ASCII case folding and trimming.
#ifndef LXM_PLATFORM_TEXT_UTIL_H_
#define LXM_PLATFORM_TEXT_UTIL_H_

#include <functional>
#include <string>
#include <string_view>

namespace lxm {

// Equal when the texts differ at most in the letter case of ASCII letters.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string ToLowerAscii(std::string_view text);
std::string ToUpperAscii(std::string_view text);
// Removes spaces (only ' ') from both ends, as VB's Trim does.
std::string_view TrimSpaces(std::string_view text);
// Removes trailing spaces, as VB's RTrim and the database's comparison do.
std::string_view TrimTrailingSpaces(std::string_view text);

// Left$ and Mid$ over UTF-8 text, counting characters as VB's strings count
// them: one per UTF-16 code unit, so a character outside the Basic
// Multilingual Plane counts two (and is kept whole when it starts inside the
// range). A byte that is not valid UTF-8 counts one. `start` is 1-based.
std::string LeftChars(std::string_view text, size_t length);
std::string MidChars(std::string_view text, size_t start, size_t length);
std::string RightChars(std::string_view text, size_t length);
// The length of `text` in those characters (Len).
size_t CharCount(std::string_view text);

// Hash and equality for maps keyed by text without regard to case.
// Both are transparent: a map keyed by std::string is searched with a
// string_view without copying it.
struct CaseInsensitiveHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const;
};
struct CaseInsensitiveEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return EqualsIgnoreCase(a, b);
  }
};

// Hash for maps keyed by std::string that are searched with a string_view
// (no key copy per look-up); pair it with std::equal_to<>.
struct TransparentStringHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

}  // namespace lxm

#endif  // LXM_PLATFORM_TEXT_UTIL_H_

#include "platform/text_util.h"

#include <functional>

namespace lxm {

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

std::string_view TrimSpaces(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

std::string_view TrimTrailingSpaces(std::string_view text) {
  size_t end = text.find_last_not_of(' ');
  if (end == std::string_view::npos) return {};
  return text.substr(0, end + 1);
}

size_t CaseInsensitiveHash::operator()(std::string_view text) const {
  // FNV-1a over the lower-cased bytes.
  size_t hash = 14695981039346656037ull;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(LowerAscii(c));
    hash *= 1099511628211ull;
  }
  return hash;
}

namespace {

// Length in bytes of the UTF-8 character at the start of `text` and the
// number of UTF-16 units it takes; a byte that starts no valid character is
// one unit on its own.
void NextChar(std::string_view text, size_t* bytes, size_t* units) {
  auto lead = static_cast<unsigned char>(text[0]);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  bool valid = length > 0 && length <= text.size();
  for (size_t i = 1; valid && i < length; ++i) {
    valid = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
  }
  *bytes = valid ? length : 1;
  *units = valid && length == 4 ? 2 : 1;
}

}  // namespace

std::string MidChars(std::string_view text, size_t start, size_t length) {
  if (start == 0) start = 1;
  size_t first = start - 1;  // units before the range
  size_t unit = 0;
  size_t begin = std::string_view::npos;
  size_t pos = 0;
  while (pos < text.size() && unit < first + length) {
    size_t bytes = 0;
    size_t units = 0;
    NextChar(text.substr(pos), &bytes, &units);
    if (begin == std::string_view::npos && unit >= first) begin = pos;
    unit += units;
    pos += bytes;
  }
  if (begin == std::string_view::npos) return {};
  return std::string(text.substr(begin, pos - begin));
}

std::string LeftChars(std::string_view text, size_t length) { return MidChars(text, 1, length); }

size_t CharCount(std::string_view text) {
  size_t count = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t bytes = 0;
    size_t units = 0;
    NextChar(text.substr(pos), &bytes, &units);
    pos += bytes;
    count += units;
  }
  return count;
}

std::string RightChars(std::string_view text, size_t length) {
  size_t total = CharCount(text);
  return total <= length ? std::string(text) : MidChars(text, total - length + 1, length);
}

}  // namespace lxm

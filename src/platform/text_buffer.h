// TextBuffer: the foundation library's growing text, for statements and
// messages built a piece at a time. Positions are 1-based and count bytes.
//
// Thread-safety: one buffer serves one thread at a time.
#ifndef LXM_PLATFORM_TEXT_BUFFER_H_
#define LXM_PLATFORM_TEXT_BUFFER_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace lxm {

class TextBuffer {
 public:
  void Append(std::string_view text) { text_.append(text); }
  // Removes up to `count` bytes from 1-based `start`; error 5 for a start
  // outside 1..Length()+1 or a negative count.
  void Remove(int32_t start, int32_t count);
  const std::string& Text() const { return text_; }
  int32_t Length() const { return static_cast<int32_t>(text_.size()); }

 private:
  std::string text_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_TEXT_BUFFER_H_

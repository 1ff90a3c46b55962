#include "platform/text_buffer.h"

#include "platform/com_error.h"

namespace lxm {

void TextBuffer::Remove(int32_t start, int32_t count) {
  if (start < 1 || start > Length() + 1 || count < 0) throw RuntimeError(errors::kInvalidCall);
  text_.erase(static_cast<size_t>(start - 1), static_cast<size_t>(count));
}

}  // namespace lxm

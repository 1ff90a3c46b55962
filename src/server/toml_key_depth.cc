#include "server/toml_key_depth.h"

#include <cstddef>

namespace lxm::server {

namespace {

// Reads a TOML text's strings and comments just well enough to skip them.
class DotCounter {
 public:
  DotCounter(std::string_view text, int max_dots) : text_(text), max_dots_(max_dots) {}

  int FirstLineOverLimit() {
    while (at_ < text_.size()) {
      char c = text_[at_];
      if (c == '#') {
        while (at_ < text_.size() && text_[at_] != '\n') ++at_;
      } else if (c == '"' || c == '\'') {
        SkipString(c);
      } else {
        if (c == '.' && ++dots_ > max_dots_) return line_;
        if (c == '\n') NewLine();
        ++at_;
      }
    }
    return 0;
  }

 private:
  void NewLine() {
    ++line_;
    dots_ = 0;
  }

  bool StartsWith(std::string_view token) const { return text_.substr(at_, token.size()) == token; }

  // Basic strings ("...", """...""") know backslash escapes; literal ones
  // ('...', '''...''') do not. Single-line strings end at the line's end.
  void SkipString(char quote) {
    const std::string_view triple = quote == '"' ? "\"\"\"" : "'''";
    bool multi_line = StartsWith(triple);
    at_ += multi_line ? 3 : 1;
    while (at_ < text_.size()) {
      char c = text_[at_];
      if (c == '\\' && quote == '"' && at_ + 1 < text_.size()) {
        if (text_[at_ + 1] == '\n') NewLine();
        at_ += 2;
        continue;
      }
      if (multi_line && StartsWith(triple)) {
        at_ += 3;
        // Up to two more quotes right before the closing three belong to
        // the string.
        for (int extra = 0; extra < 2 && at_ < text_.size() && text_[at_] == quote; ++extra) ++at_;
        return;
      }
      if (!multi_line && (c == quote || c == '\n')) {
        if (c == quote) ++at_;
        return;
      }
      if (c == '\n') NewLine();
      ++at_;
    }
  }

  std::string_view text_;
  int max_dots_;
  size_t at_ = 0;
  int line_ = 1;
  int dots_ = 0;
};

}  // namespace

int LineWithTooManyKeyDots(std::string_view text, int max_dots) {
  return DotCounter(text, max_dots).FirstLineOverLimit();
}

}  // namespace lxm::server

#include "server/flat_arguments.h"

#include <cstdint>
#include <string>

namespace lxm::server {

namespace {

// Reads tokens from the front of the body; any surprise ends the reading.
class FlatReader {
 public:
  explicit FlatReader(std::string_view text) : text_(text) {}

  void SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }
  bool Take(std::string_view token) {
    SkipSpace();
    if (text_.substr(at_, token.size()) != token) return false;
    at_ += token.size();
    return true;
  }
  bool AtEnd() {
    SkipSpace();
    return at_ == text_.size();
  }
  char Peek() {
    SkipSpace();
    return at_ < text_.size() ? text_[at_] : '\0';
  }

  // One scalar: a plain ASCII text, an integer of at most nine digits (an
  // int32 either way), true, false or null.
  std::optional<Variant> Scalar() {
    char c = Peek();
    if (c == '"') return Text();
    if (c == '-' || (c >= '0' && c <= '9')) return Integer();
    if (Take("true")) return Variant(true);
    if (Take("false")) return Variant(false);
    if (Take("null")) return Variant::Null();
    return std::nullopt;
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

  std::optional<Variant> Text() {
    size_t start = ++at_;
    while (at_ < text_.size()) {
      auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') {
        std::string value(text_.substr(start, at_ - start));
        ++at_;
        return Variant(std::move(value));
      }
      // Escapes, control characters and non-ASCII text (which must be
      // checked as UTF-8) are the full decoder's.
      if (c == '\\' || c < 0x20 || c >= 0x80) return std::nullopt;
      ++at_;
    }
    return std::nullopt;
  }

  std::optional<Variant> Integer() {
    bool negative = text_[at_] == '-';
    if (negative) ++at_;
    size_t start = at_;
    int64_t value = 0;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
      // Digits past the ninth are only counted: the number is the full
      // decoder's then, and adding them up would overflow.
      if (at_ - start < 9) value = value * 10 + (text_[at_] - '0');
      ++at_;
    }
    size_t digits = at_ - start;
    // No leading zero, no "-0", nothing that makes a fraction or exponent.
    if (digits == 0 || digits > 9 || (digits > 1 && text_[start] == '0') ||
        (negative && value == 0)) {
      return std::nullopt;
    }
    if (at_ < text_.size() && (text_[at_] == '.' || text_[at_] == 'e' || text_[at_] == 'E')) {
      return std::nullopt;
    }
    return Variant(static_cast<int32_t>(negative ? -value : value));
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

std::optional<std::vector<Variant>> ReadFlatArguments(std::string_view body) {
  FlatReader reader(body);
  if (!reader.Take("{") || !reader.Take("\"args\"") || !reader.Take(":") || !reader.Take("[")) {
    return std::nullopt;
  }
  std::vector<Variant> values;
  if (!reader.Take("]")) {
    while (true) {
      std::optional<Variant> value = reader.Scalar();
      if (!value) return std::nullopt;
      values.push_back(std::move(*value));
      if (reader.Take("]")) break;
      if (!reader.Take(",")) return std::nullopt;
    }
  }
  if (!reader.Take("}") || !reader.AtEnd()) return std::nullopt;
  return values;
}

}  // namespace lxm::server

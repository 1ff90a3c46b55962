#include "platform/log.h"

#include <iostream>
#include <string>

namespace lxm {

std::string EscapeControlCharacters(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      escaped.push_back(c);
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\t') {
      escaped += "\\t";
    } else {
      escaped += "\\x";
      escaped.push_back(kHex[byte >> 4]);
      escaped.push_back(kHex[byte & 0xF]);
    }
  }
  return escaped;
}

void LogLine(std::string_view line) {
  std::string text = "lxmdataflow: ";
  text += EscapeControlCharacters(line);
  text += '\n';
  std::cerr << text << std::flush;  // one write, so lines of threads do not mix
}

}  // namespace lxm

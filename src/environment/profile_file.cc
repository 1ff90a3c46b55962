#include "environment/profile_file.h"

#include "platform/text_util.h"

namespace lxm {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string ReadProfileString(std::string_view text, std::string_view section, std::string_view key,
                              std::string_view fallback) {
  bool in_section = false;
  bool section_seen = false;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = TrimBlanks(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string_view name = TrimBlanks(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
      // Only the first section of that name counts.
      in_section = !section_seen && EqualsIgnoreCase(name, section);
      section_seen = section_seen || in_section;
      continue;
    }
    if (!in_section) continue;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (EqualsIgnoreCase(TrimBlanks(line.substr(0, equals)), key)) {
      return std::string(TrimBlanks(line.substr(equals + 1)));
    }
  }
  return std::string(fallback);
}

}  // namespace lxm

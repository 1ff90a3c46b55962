#include "update/overlay_levels.h"

namespace lxm {

std::string CopySelectList(const OverlayLevel& level, std::string_view prefix, std::string_view user_value) {
  std::string list;
  std::string_view rest = level.columns;
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string_view column = rest.substr(0, comma);
    if (!list.empty()) list += ",";
    if (column == "FUserID") {
      list += user_value;
    } else {
      list += prefix;
      list += column;
    }
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  return list;
}

}  // namespace lxm

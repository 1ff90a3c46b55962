#include "platform/log.h"

#include <iostream>
#include <string>

namespace lxm {

void LogLine(std::string_view line) {
  std::string text = "lxmdataflow: ";
  text += line;
  text += '\n';
  std::cerr << text << std::flush;  // one write, so lines of threads do not mix
}

}  // namespace lxm

// The configuration reader: a TOML text read as `serve --config` reads its
// file. Expected outcomes: a configuration, or a ServeConfigError (which
// must name the file it was given).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/request_body.h"
#include "server/serve_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string kFile = "/etc/lxmdataflow/serve.toml";
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    lxm::server::ServeConfig config = lxm::server::ParseServeConfig(text, kFile);
    // Relative paths are taken from the file's folder.
    if (!config.registry_file.empty() && config.registry_file.front() != '/') {
      lxm::fuzz::Fail("a relative registry path: " + config.registry_file);
    }
  } catch (const lxm::server::ServeConfigError& error) {
    if (std::string_view(error.what()).substr(0, kFile.size()) != kFile) {
      lxm::fuzz::Fail(std::string("an error that does not name the file: ") + error.what());
    }
  }
  return 0;
}

// ServedFiles: the files of the server's disk that clients may read.
//
// A path names a served file only when, after resolving ".", ".." and
// symbolic links, it is a regular file under one of the configured roots
// (InstallationSettings::file_roots) and no larger than the configured limit.
// Anything else (outside the roots, a link leading out, a NUL byte, a name the
// system refuses, a folder) reads as a file that does not exist, so a client
// learns nothing about the rest of the disk.
//
// Thread-safety: stateless apart from the settings; safe from any thread.
#ifndef LXM_ENVIRONMENT_SERVED_FILES_H_
#define LXM_ENVIRONMENT_SERVED_FILES_H_

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime.h"
#include "platform/variant.h"

namespace lxm {

class ServedFiles {
 public:
  explicit ServedFiles(const InstallationSettings& settings) : settings_(&settings) {}

  // The resolved path of a served file, or nothing.
  std::optional<std::filesystem::path> Resolve(std::string_view path) const;

  bool FileExists(std::string_view path) const { return Resolve(path).has_value(); }
  // The size in bytes; error 53 ("File not found") when not served.
  int32_t GetFileSize(std::string_view path) const;
  // The whole file, read in 4096-byte chunks; an empty file gives one 0 byte.
  // Error 5, source "LXMDataFlow.DatasUpdate", description
  // File "<path>" not found! when not served; error 7 over the size limit.
  Bytes FileToVariant(std::string_view path) const;

 private:
  const InstallationSettings* settings_;
};

}  // namespace lxm

#endif  // LXM_ENVIRONMENT_SERVED_FILES_H_

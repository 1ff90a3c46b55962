// ServedFiles: the files of the server's disk that clients may read.
//
// A path names a served file only when it lies, as written (".", ".." taken
// lexically), under one of the configured roots
// (InstallationSettings::file_roots, as configured or resolved) and opens
// beneath that root as a regular file no larger than the configured limit.
// The open itself stays beneath the root (openat2 with RESOLVE_BENEATH, or a
// walk that follows no link), so a file swapped for a link between a check
// and the open is never followed out; a link is followed only where it stays
// beneath the root by a relative target. Anything else (outside the roots, a
// link leading out, a NUL byte, a name the system refuses, a folder, a file
// over the limit) reads as a file that does not exist, so a client learns
// nothing about the rest of the disk.
//
// Thread-safety: stateless apart from the settings and the shared budget;
// safe from any thread.
#ifndef LXM_ENVIRONMENT_SERVED_FILES_H_
#define LXM_ENVIRONMENT_SERVED_FILES_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/runtime.h"
#include "platform/variant.h"

namespace lxm {

class ServedFiles {
 public:
  // The runtime's settings and its budget of file bytes in flight.
  explicit ServedFiles(Runtime& runtime) : settings_(&runtime.installation()), budget_(&runtime.file_bytes()) {}

  bool FileExists(std::string_view path) const;
  // The size in bytes; error 53 ("File not found") when not served.
  int32_t GetFileSize(std::string_view path) const;
  // The whole file; an empty file gives one 0 byte. Error 5, source
  // "LXMDataFlow.DatasUpdate", description File "<path>" not found! when not
  // served; error 7 when the replies in flight hold the whole budget for
  // longer than the wait.
  Bytes FileToVariant(std::string_view path) const;
  // As FileToVariant, but nothing when the file is not served.
  std::optional<Bytes> ReadIfServed(std::string_view path) const;

 private:
  struct OpenFile;
  std::optional<OpenFile> Open(std::string_view path) const;
  Bytes Read(std::string_view path, OpenFile& file) const;

  const InstallationSettings* settings_;
  ByteBudget* budget_;
};

}  // namespace lxm

#endif  // LXM_ENVIRONMENT_SERVED_FILES_H_

#include "environment/served_files.h"

#include <fstream>

#include "platform/com_error.h"

namespace lxm {

namespace {

constexpr size_t kChunkBytes = 4096;

// True when `path` lies at or below `root` (both resolved).
bool IsUnder(const std::filesystem::path& path, const std::filesystem::path& root) {
  auto mismatch = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
  return mismatch.first == root.end();
}

}  // namespace

std::optional<std::filesystem::path> ServedFiles::Resolve(std::string_view path) const {
  if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::canonical(std::filesystem::path(path), error);
  if (error || !std::filesystem::is_regular_file(resolved, error) || error) return std::nullopt;
  for (const std::string& root : settings_->file_roots) {
    std::filesystem::path resolved_root = std::filesystem::canonical(root, error);
    if (!error && IsUnder(resolved, resolved_root)) return resolved;
  }
  return std::nullopt;
}

int32_t ServedFiles::GetFileSize(std::string_view path) const {
  std::optional<std::filesystem::path> file = Resolve(path);
  std::error_code error;
  uintmax_t size = file ? std::filesystem::file_size(*file, error) : 0;
  if (!file || error) throw RuntimeError(errors::kFileNotFound);
  if (size > static_cast<uintmax_t>(INT32_MAX)) throw RuntimeError(errors::kOverflow);
  return static_cast<int32_t>(size);
}

Bytes ServedFiles::FileToVariant(std::string_view path) const {
  std::optional<std::filesystem::path> file = Resolve(path);
  if (!file) {
    throw ComError(errors::kInvalidCall, "LXMDataFlow.DatasUpdate", "File \"" + std::string(path) + "\" not found!");
  }
  int32_t size = GetFileSize(path);
  if (size <= 0) return Bytes{0};
  if (size > settings_->max_file_bytes) {
    throw ComError(errors::kOutOfMemory, std::string(kRuntimeErrorSource),
                   "File \"" + std::string(path) + "\" is larger than the " +
                       std::to_string(settings_->max_file_bytes) + " bytes this server hands out.");
  }
  Bytes bytes(static_cast<size_t>(size));
  std::ifstream in(*file, std::ios::binary);
  for (size_t offset = 0; in && offset < bytes.size(); offset += kChunkBytes) {
    size_t chunk = std::min(kChunkBytes, bytes.size() - offset);
    in.read(reinterpret_cast<char*>(bytes.data() + offset), static_cast<std::streamsize>(chunk));
  }
  if (!in) throw RuntimeError(errors::kFileNotFound);
  return bytes;
}

}  // namespace lxm

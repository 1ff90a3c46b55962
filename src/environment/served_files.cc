#include "environment/served_files.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/byte_budget.h"
#include "platform/com_error.h"

namespace lxm {

namespace {

constexpr size_t kChunkBytes = 4096;

// Closes the descriptor it holds.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// `path` made absolute against the working folder, "." and ".." resolved
// as text.
std::filesystem::path Normal(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path absolute = path.is_absolute() ? path : std::filesystem::current_path(error) / path;
  return absolute.lexically_normal();
}

// The part of `path` below `root`; empty when it is not below it.
std::filesystem::path Below(const std::filesystem::path& path, const std::filesystem::path& root) {
  auto mismatch = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
  // A root written with a trailing slash ends in an empty component.
  if (mismatch.first != root.end() && !(std::next(mismatch.first) == root.end() && mismatch.first->empty())) {
    return {};
  }
  std::filesystem::path below;
  for (auto part = mismatch.second; part != path.end(); ++part) {
    if (!part->empty()) below /= *part;
  }
  return below;
}

constexpr int kFileFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;  // a FIFO never blocks the open

// Opens `relative` (no "..", no empty parts) beneath the folder `root`: the
// kernel keeps the whole resolution beneath it. Where it cannot (kernels
// before 5.6), each part is opened in the one before it, following no link.
Descriptor OpenBeneath(int root, const std::filesystem::path& relative) {
  open_how how{};
  how.flags = kFileFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  int fd = static_cast<int>(::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof(how)));
  if (fd >= 0 || errno != ENOSYS) return Descriptor(fd);
  std::vector<std::filesystem::path> parts(relative.begin(), relative.end());
  Descriptor folder(::fcntl(root, F_DUPFD_CLOEXEC, 0));
  for (size_t i = 0; i + 1 < parts.size() && folder.get() >= 0; ++i) {
    folder = Descriptor(::openat(folder.get(), parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (folder.get() < 0 || parts.empty()) return Descriptor();
  return Descriptor(::openat(folder.get(), parts.back().c_str(), kFileFlags | O_NOFOLLOW));
}

}  // namespace

struct ServedFiles::OpenFile {
  Descriptor fd;
  int64_t size = 0;
};

std::optional<ServedFiles::OpenFile> ServedFiles::Open(std::string_view path) const {
  if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
  const std::filesystem::path wanted = Normal(std::filesystem::path(path));
  for (const std::string& root : settings_->file_roots) {
    std::error_code error;
    const std::filesystem::path written = Normal(root);
    const std::filesystem::path resolved = std::filesystem::canonical(written, error);
    if (error) continue;
    // The path may name the root as configured or as resolved; the open
    // starts from the resolved folder either way.
    std::filesystem::path relative = Below(wanted, written);
    if (relative.empty()) relative = Below(wanted, resolved);
    if (relative.empty()) continue;
    Descriptor folder(::open(resolved.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) continue;
    Descriptor fd = OpenBeneath(folder.get(), relative);
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (info.st_size > settings_->max_file_bytes) continue;
    return OpenFile{std::move(fd), static_cast<int64_t>(info.st_size)};
  }
  return std::nullopt;
}

bool ServedFiles::FileExists(std::string_view path) const { return Open(path).has_value(); }

int32_t ServedFiles::GetFileSize(std::string_view path) const {
  std::optional<OpenFile> file = Open(path);
  if (!file) throw RuntimeError(errors::kFileNotFound);
  return static_cast<int32_t>(file->size);  // the limit keeps it within 32 bits
}

Bytes ServedFiles::Read(std::string_view path, OpenFile& file) const {
  if (file.size <= 0) return Bytes{0};
  ByteBudget::Share share = budget_->Take(file.size, std::chrono::milliseconds(settings_->file_wait_ms));
  if (share == nullptr) {
    throw ComError(errors::kOutOfMemory, std::string(kRuntimeErrorSource),
                   "Out of memory: the replies in flight hold " + std::to_string(budget_->limit()) +
                       " bytes of files, this server's limit, so \"" + std::string(path) +
                       "\" cannot be read now; try again later.");
  }
  Bytes bytes(static_cast<size_t>(file.size));
  for (size_t offset = 0; offset < bytes.size();) {
    size_t chunk = std::min(kChunkBytes, bytes.size() - offset);
    ssize_t got = ::pread(file.fd.get(), bytes.data() + offset, chunk, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw RuntimeError(errors::kFileNotFound);  // cut short while read
    offset += static_cast<size_t>(got);
  }
  // The host keeps the share until the reply holding these bytes is sent.
  ReplyHolds::Keep(std::move(share));
  return bytes;
}

Bytes ServedFiles::FileToVariant(std::string_view path) const {
  std::optional<OpenFile> file = Open(path);
  if (!file) {
    throw ComError(errors::kInvalidCall, "LXMDataFlow.DatasUpdate", "File \"" + std::string(path) + "\" not found!");
  }
  return Read(path, *file);
}

std::optional<Bytes> ServedFiles::ReadIfServed(std::string_view path) const {
  std::optional<OpenFile> file = Open(path);
  if (!file) return std::nullopt;
  return Read(path, *file);
}

}  // namespace lxm

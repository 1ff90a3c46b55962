#include "test_support/full_disk.h"

#include <sqlite3.h>

#include <cstring>
#include <stdexcept>

namespace lxm::test {

std::atomic<bool> FullDisk::full_ = false;
std::atomic<int> FullDisk::refused_ = 0;

namespace {

sqlite3_vfs* system_vfs = nullptr;
sqlite3_vfs full_disk_vfs;

// Our file first, the system's file right after it.
struct File {
  sqlite3_file base;
  sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

bool Refuse() {
  if (!FullDisk::full_) return false;
  ++FullDisk::refused_;
  return true;
}

int Close(sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); }
int Read(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
  return Real(f)->pMethods->xRead(Real(f), buffer, amount, offset);
}
int Write(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
  if (Refuse()) return SQLITE_FULL;
  return Real(f)->pMethods->xWrite(Real(f), buffer, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  sqlite3_int64 now = 0;
  Real(f)->pMethods->xFileSize(Real(f), &now);
  if (size > now && Refuse()) return SQLITE_FULL;
  return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) { return Real(f)->pMethods->xSync(Real(f), flags); }
int FileSize(sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int Lock(sqlite3_file* f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); }
int FileControl(sqlite3_file* f, int op, void* arg) {
  // Growing a file ahead of its writes is a write too.
  if (op == SQLITE_FCNTL_SIZE_HINT && Refuse()) return SQLITE_FULL;
  return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
  return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int delete_flag) { return Real(f)->pMethods->xShmUnmap(Real(f), delete_flag); }
int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
  return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
  return Real(f)->pMethods->xUnfetch(Real(f), offset, page);
}

const sqlite3_io_methods kMethods = {3,         Close,     Read,     Write,      Truncate,    Sync,
                                     FileSize,  Lock,      Unlock,   CheckReservedLock,       FileControl,
                                     SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier,
                                     ShmUnmap,  Fetch,     Unfetch};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
  File* ours = reinterpret_cast<File*>(file);
  ours->real = reinterpret_cast<sqlite3_file*>(ours + 1);
  int rc = system_vfs->xOpen(system_vfs, name, ours->real, flags, out_flags);
  // Without methods SQLite calls nothing on the file, not even its close.
  ours->base.pMethods = ours->real->pMethods != nullptr ? &kMethods : nullptr;
  return rc;
}

}  // namespace

FullDisk::FullDisk() {
  system_vfs = sqlite3_vfs_find(nullptr);
  if (system_vfs == nullptr) throw std::runtime_error("no SQLite file layer");
  full_disk_vfs = *system_vfs;
  full_disk_vfs.zName = "lxm-full-disk";
  full_disk_vfs.szOsFile = static_cast<int>(sizeof(File)) + system_vfs->szOsFile;
  full_disk_vfs.xOpen = Open;
  full_disk_vfs.pNext = nullptr;
  full_ = false;
  refused_ = 0;
  sqlite3_vfs_register(&full_disk_vfs, 1);
}

FullDisk::~FullDisk() {
  full_ = false;
  sqlite3_vfs_unregister(&full_disk_vfs);
  sqlite3_vfs_register(system_vfs, 1);
}

}  // namespace lxm::test

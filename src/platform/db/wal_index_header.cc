#include "platform/db/wal_index_header.h"

#include <sqlite3.h>

#include <atomic>

namespace lxm {

namespace {

// The version number SQLite writes into every WAL-index header it makes.
constexpr uint32_t kWalIndexVersion = 3007000;
constexpr size_t kHeaderWords = std::tuple_size_v<WalIndexHeader>;

// One word of memory another process may be writing: read whole, never torn.
uint32_t LoadWord(const volatile uint32_t* word) {
  return __atomic_load_n(const_cast<const uint32_t*>(word), __ATOMIC_RELAXED);
}

}  // namespace

std::optional<WalIndexHeader> ReadWalIndexHeader(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr || file->pMethods->iVersion < 2 ||
      file->pMethods->xShmMap == nullptr) {
    return std::nullopt;
  }
  // Region 0 holds the header. Without extending, an index this connection
  // has not opened yet (not in WAL mode, no read so far) gives no region.
  volatile void* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, 32768, 0, &region) != SQLITE_OK || region == nullptr) {
    return std::nullopt;
  }
  const volatile uint32_t* words = static_cast<const volatile uint32_t*>(region);
  WalIndexHeader first;
  WalIndexHeader second;
  // As SQLite reads it: first copy, barrier, second copy. A writer writes
  // the second copy first, so equal copies are a whole header.
  for (size_t i = 0; i < kHeaderWords; ++i) first[i] = LoadWord(words + i);
  std::atomic_thread_fence(std::memory_order_seq_cst);
  for (size_t i = 0; i < kHeaderWords; ++i) second[i] = LoadWord(words + kHeaderWords + i);
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (first != second) return std::nullopt;
  // Word 0 is the format version; byte 12 (word 3's first byte in memory)
  // says whether the header was ever written.
  const auto* bytes = reinterpret_cast<const unsigned char*>(first.data());
  if (first[0] != kWalIndexVersion || bytes[12] == 0) return std::nullopt;
  return first;
}

}  // namespace lxm

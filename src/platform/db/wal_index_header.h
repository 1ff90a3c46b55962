// WalIndexHeader: a look at the header of an SQLite database's shared WAL
// index (the "-shm" file every connection to the database maps), without
// taking a lock.
//
// Every commit, by any connection of any process, rewrites that header (its
// change counter, last frame and checksums move), and so does every restart
// of the log. While the header reads the same, nothing has been committed
// since: a handle may then trust what it learnt of the database's content at
// that header, without starting a read (which costs SQLite four fcntl lock
// calls). The layout is SQLite's documented WAL-index format: two copies of a
// 48-byte header, written second copy first, so that a reader who finds them
// unequal knows a writer is between the two and must not trust either.
#ifndef LXM_PLATFORM_DB_WAL_INDEX_HEADER_H_
#define LXM_PLATFORM_DB_WAL_INDEX_HEADER_H_

#include <array>
#include <cstdint>
#include <optional>

struct sqlite3;

namespace lxm {

using WalIndexHeader = std::array<uint32_t, 12>;

// The header of `db`'s main database, or nullopt when it cannot be read
// safely: its index is not mapped yet or not initialised, or a writer is
// updating it right now. REQUIRES: the database is in WAL mode (else this
// would open an index the connection never closes).
std::optional<WalIndexHeader> ReadWalIndexHeader(sqlite3* db);

}  // namespace lxm

#endif  // LXM_PLATFORM_DB_WAL_INDEX_HEADER_H_

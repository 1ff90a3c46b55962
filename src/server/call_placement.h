// Where the host runs a call, and what keeps one user's burst from taking
// the threads and memory the others need: writes on worker threads of their
// own at a lower priority, a bound on each user's calls in flight, and
// freed memory given back after large bodies.
#ifndef LXM_SERVER_CALL_PLACEMENT_H_
#define LXM_SERVER_CALL_PLACEMENT_H_

#include <string_view>

#include "server/dispatcher.h"

namespace lxm::server {

// Calls of the writing class and the command methods.
bool IsWriteCall(std::string_view prog_id, std::string_view method);

// The write workers: as configured, else a quarter of the workers, at
// least 2.
int WriteWorkerCount(int workers, int configured);

// `dispatch` with a bound on each user's calls in flight, unless it has
// one: as configured, else a quarter of the workers, at least 1.
DispatcherOptions WithCallBound(DispatcherOptions dispatch, int workers, int configured);

// Lowers the calling thread's priority once (a write worker yields the
// processor to readers).
void LowerThisThreadsPriority();

// Gives memory freed by the process back to the system, at most once a
// second: glibc would keep a burst's peak.
void TrimFreedMemorySoon();

}  // namespace lxm::server

#endif  // LXM_SERVER_CALL_PLACEMENT_H_

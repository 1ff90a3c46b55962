#include "server/call_placement.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>

#include "platform/text_util.h"

namespace lxm::server {

bool IsWriteCall(std::string_view prog_id, std::string_view method) {
  return IsCommandMethod(method) || EqualsIgnoreCase(prog_id, "LXMDataFlow.DatasUpdate");
}

int WriteWorkerCount(int workers, int configured) { return configured > 0 ? configured : std::max(2, workers / 4); }

DispatcherOptions WithCallBound(DispatcherOptions dispatch, int workers, int configured) {
  if (!dispatch.calls_in_flight) {
    int bound = configured > 0 ? configured : std::max(1, workers / 4);
    dispatch.calls_in_flight = std::make_shared<CallsInFlight>(bound);
  }
  return dispatch;
}

void LowerThisThreadsPriority() {
  thread_local bool lowered = false;
  if (lowered) return;
  lowered = true;
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
}

void TrimFreedMemorySoon() {
  using Clock = std::chrono::steady_clock;
  static std::atomic<Clock::rep> last{0};
  const Clock::rep now = Clock::now().time_since_epoch().count();
  Clock::rep before = last.load();
  if (now - before < std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)).count()) return;
  if (!last.compare_exchange_strong(before, now)) return;
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace lxm::server

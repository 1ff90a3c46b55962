// CallsInFlight: a bound on the calls one user has running at once, so that
// one user's burst (a script importing in parallel) cannot take the workers
// every other user needs. A call beyond it is refused with 429 and
// "Retry-After" rather than queued: queued, it would still hold a
// connection and a body in memory.
//
// Thread-safety: safe from any thread.
#ifndef LXM_SERVER_CALLS_IN_FLIGHT_H_
#define LXM_SERVER_CALLS_IN_FLIGHT_H_

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace lxm::server {

class CallsInFlight {
 public:
  explicit CallsInFlight(int max_per_user) : max_per_user_(max_per_user) {}

  // Held while the call runs; the call leaves when it goes.
  using Ticket = std::shared_ptr<void>;

  // A ticket for a call of `user` ("16394", or the token map's user), or
  // null when that user has max_per_user calls running already.
  Ticket Enter(const std::string& user);

  int max_per_user() const { return max_per_user_; }

 private:
  const int max_per_user_;
  std::mutex mutex_;
  std::unordered_map<std::string, int> running_;  // GUARDED_BY(mutex_); no entry for 0
};

}  // namespace lxm::server

#endif  // LXM_SERVER_CALLS_IN_FLIGHT_H_

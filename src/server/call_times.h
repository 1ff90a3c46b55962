// CallTimes: how long calls of each method have lately taken, so that the
// I/O thread that read a call can run it itself when it is short: handing it
// to a worker and back costs two thread wake-ups, more than a cached level
// takes to send. The typical time moves an eighth of the way to each call's,
// so that one call of a few milliseconds sends its method back to the
// workers at once, while a call slowed now and then by a busy machine does
// not.
//
// Thread-safety: safe from any thread.
#ifndef LXM_SERVER_CALL_TIMES_H_
#define LXM_SERVER_CALL_TIMES_H_

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace lxm::server {

class CallTimes {
 public:
  using Clock = std::chrono::steady_clock;

  // Whether the I/O thread runs calls of `key` ("ProgID/Method") itself.
  // Only methods that exist are recorded, so the table stays small.
  bool Short(std::string_view key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = times_.find(key);
    return found != times_.end() && found->second.calls >= kTimedCalls &&
           found->second.typical < kShortCall;
  }

  void Record(std::string_view key, Clock::duration took) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = times_.find(key);
    if (found == times_.end()) found = times_.emplace(std::string(key), Times{}).first;
    Times& times = found->second;
    times.typical = times.calls == 0 ? took : times.typical + (took - times.typical) / 8;
    if (times.calls < kTimedCalls) ++times.calls;
  }

 private:
  // Longer than this and a call would hold up the other connections of its
  // I/O thread (and /health) for longer than a wake-up is worth.
  static constexpr Clock::duration kShortCall = std::chrono::microseconds(500);
  // A method is timed on the workers first.
  static constexpr int kTimedCalls = 8;

  struct Times {
    int calls = 0;
    Clock::duration typical = Clock::duration::zero();
  };
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
  };

  mutable std::mutex mutex_;
  std::unordered_map<std::string, Times, Hash, std::equal_to<>> times_;  // GUARDED_BY(mutex_)
};

}  // namespace lxm::server

#endif  // LXM_SERVER_CALL_TIMES_H_

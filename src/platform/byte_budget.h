// ByteBudget: a bound on the bytes that calls hold at once (the files the
// service hands to clients), shared by every call of a process, so that many
// large replies together cannot exhaust the server's memory.
//
//   ByteBudget::Share share = budget.Take(size, std::chrono::seconds(10));
//   if (share == nullptr) ...;  // the budget stayed full
//   ReplyHolds::Keep(share);    // held until the host has sent the reply
//
// Thread-safety: safe from any thread.
#ifndef LXM_PLATFORM_BYTE_BUDGET_H_
#define LXM_PLATFORM_BYTE_BUDGET_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace lxm {

class ByteBudget {
 public:
  explicit ByteBudget(int64_t limit);

  // A share of the budget, given back when its last copy goes (it may
  // outlive the budget).
  using Share = std::shared_ptr<const void>;

  // Takes `bytes` (at least 0), waiting up to `wait` while earlier shares
  // leave too little; nullptr when they still did at the end of the wait,
  // and at once for more than the whole limit.
  Share Take(int64_t bytes, std::chrono::milliseconds wait);

  int64_t limit() const { return limit_; }
  // The bytes held by shares now.
  int64_t in_use() const;

 private:
  struct State;
  int64_t limit_;
  std::shared_ptr<State> state_;
};

// What the reply of the current call on this thread must keep until it has
// been sent. The host opens one around each call it dispatches and takes
// what was kept into the reply; where none is open (an in-process call), a
// share kept is given back as soon as the call that took it lets it go.
// Objects nest: the innermost on a thread is the current one.
class ReplyHolds {
 public:
  ReplyHolds();
  ~ReplyHolds();
  ReplyHolds(const ReplyHolds&) = delete;
  ReplyHolds& operator=(const ReplyHolds&) = delete;

  // Keeps `share` in this thread's current object, if there is one.
  static void Keep(ByteBudget::Share share);
  // What was kept so far; this object then holds nothing.
  std::vector<ByteBudget::Share> Take();

 private:
  std::vector<ByteBudget::Share> held_;
  ReplyHolds* outer_;
};

}  // namespace lxm

#endif  // LXM_PLATFORM_BYTE_BUDGET_H_

#include "platform/byte_budget.h"

#include <condition_variable>
#include <mutex>
#include <utility>

namespace lxm {

struct ByteBudget::State {
  std::mutex mutex;
  std::condition_variable freed;
  int64_t in_use = 0;  // GUARDED_BY(mutex)
};

ByteBudget::ByteBudget(int64_t limit) : limit_(limit), state_(std::make_shared<State>()) {}

ByteBudget::Share ByteBudget::Take(int64_t bytes, std::chrono::milliseconds wait) {
  if (bytes < 0 || bytes > limit_) return nullptr;
  std::unique_lock<std::mutex> lock(state_->mutex);
  if (!state_->freed.wait_for(lock, wait, [&] { return state_->in_use + bytes <= limit_; })) return nullptr;
  state_->in_use += bytes;
  std::shared_ptr<State> state = state_;
  // The share points at the state only to carry the deleter that gives the
  // bytes back.
  return Share(state.get(), [state, bytes](const void*) {
    {
      std::lock_guard<std::mutex> guard(state->mutex);
      state->in_use -= bytes;
    }
    state->freed.notify_all();
  });
}

int64_t ByteBudget::in_use() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->in_use;
}

namespace {

thread_local ReplyHolds* current_holds = nullptr;

}  // namespace

ReplyHolds::ReplyHolds() : outer_(current_holds) { current_holds = this; }

ReplyHolds::~ReplyHolds() { current_holds = outer_; }

void ReplyHolds::Keep(ByteBudget::Share share) {
  if (current_holds != nullptr) current_holds->held_.push_back(std::move(share));
}

std::vector<ByteBudget::Share> ReplyHolds::Take() { return std::exchange(held_, {}); }

}  // namespace lxm

#include "server/calls_in_flight.h"

namespace lxm::server {

CallsInFlight::Ticket CallsInFlight::Enter(const std::string& user) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    int& running = running_[user];
    if (running >= max_per_user_) return nullptr;
    ++running;
  }
  // The ticket's deleter lets the call out; `this` outlives every call.
  return Ticket(static_cast<void*>(this), [this, user](void*) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = running_.find(user);
    if (it != running_.end() && --it->second <= 0) running_.erase(it);
  });
}

}  // namespace lxm::server

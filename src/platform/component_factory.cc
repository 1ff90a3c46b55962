#include "platform/component_factory.h"

#include <atomic>

namespace lxm {

namespace {
std::atomic<uint64_t> next_factory_id{1};
}  // namespace

ComponentFactory::ComponentFactory() : id_(next_factory_id++) {}

void ComponentFactory::Register(std::string_view prog_id, Creator creator) {
  std::lock_guard<std::mutex> lock(mutex_);
  creators_[std::string(prog_id)] = std::move(creator);
}

void ComponentFactory::Unregister(std::string_view prog_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  creators_.erase(std::string(prog_id));
}

bool ComponentFactory::IsRegistered(std::string_view prog_id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return creators_.find(std::string(prog_id)) != creators_.end();
}

std::shared_ptr<Object> ComponentFactory::Create(std::string_view prog_id) const {
  Creator creator;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = creators_.find(prog_id);
    if (it == creators_.end()) throw RuntimeError(errors::kCannotCreateObject);
    creator = it->second;
  }
  std::shared_ptr<Object> object;
  try {
    object = creator();
  } catch (...) {
    throw RuntimeError(errors::kCannotCreateObject);
  }
  if (object == nullptr) throw RuntimeError(errors::kCannotCreateObject);
  return object;
}

}  // namespace lxm

// Process-wide shared values: made once per name, a failure kept by nobody,
// and a value being made holds back only its own callers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/shared_properties.h"

namespace lxm {
namespace {

TEST(SharedPropertiesTest, MadeOnceWhileOtherValuesStayAvailable) {
  SharedProperties properties;
  std::atomic<int> made = 0;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> making;

  // Eight callers of one slow value: it is made once, all get it.
  std::vector<std::future<Variant>> slow;
  slow.push_back(std::async(std::launch::async, [&] {
    return properties.GetOrMake("db", "slow", [&] {
      making.set_value();
      released.wait();
      ++made;
      return Variant("slow value");
    });
  }));
  making.get_future().wait();
  for (int i = 0; i < 7; ++i) {
    slow.push_back(std::async(std::launch::async, [&] {
      return properties.GetOrMake("db", "slow", [&] {
        ++made;
        return Variant("made again");
      });
    }));
  }
  // Meanwhile another value comes without waiting for the slow one.
  auto other = std::async(std::launch::async,
                          [&] { return properties.GetOrMake("edition", "code", [] { return Variant("XSE"); }); });
  EXPECT_EQ(other.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  release.set_value();
  EXPECT_EQ(other.get(), Variant("XSE"));
  for (auto& caller : slow) EXPECT_EQ(caller.get(), Variant("slow value"));
  EXPECT_EQ(made, 1);

  // A failure is the caller's, and the next caller makes the value.
  EXPECT_THROW(properties.GetOrMake("db", "flaky", []() -> Variant { throw std::runtime_error("down"); }),
               std::runtime_error);
  EXPECT_EQ(properties.GetOrMake("db", "flaky", [] { return Variant(7); }), Variant(7));
  EXPECT_EQ(properties.GetOrMake("db", "flaky", [] { return Variant(8); }), Variant(7));
}

}  // namespace
}  // namespace lxm

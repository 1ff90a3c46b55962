// Helpers for asserting which automation error a call raises.
#ifndef LXM_TESTS_TEST_SUPPORT_ERROR_MATCHERS_H_
#define LXM_TESTS_TEST_SUPPORT_ERROR_MATCHERS_H_

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/com_error.h"

namespace lxm::test {

// The number of the ComError `action` raises, or 0 when it raises none.
// Any other exception escapes and fails the test.
inline int32_t ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ComError& error) {
    return error.number();
  }
  return 0;
}

// The whole ComError `action` raises, for checking source and description;
// nullopt when it raises none.
inline std::optional<ComError> ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ComError& error) {
    return error;
  }
  return std::nullopt;
}

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_ERROR_MATCHERS_H_

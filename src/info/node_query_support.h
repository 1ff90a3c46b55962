// Failure styles of the single-node queries of DatasInfo.
#ifndef LXM_INFO_NODE_QUERY_SUPPORT_H_
#define LXM_INFO_NODE_QUERY_SUPPORT_H_

#include <exception>
#include <utility>

#include "platform/com_error.h"

namespace lxm {

// "Trap and swallow": the answer of `body`, or `fallback` when it fails in
// any way. Used only by queries whose callers expect a fixed answer instead
// of an error.
template <typename T, typename Body>
T AnswerOrFallback(T fallback, Body&& body) {
  try {
    return std::forward<Body>(body)();
  } catch (const std::exception&) {
    return fallback;
  }
}

// A type code or level base the query does not know (error 5).
inline ComError UnknownLevelCode() { return RuntimeError(errors::kInvalidCall); }

}  // namespace lxm

#endif  // LXM_INFO_NODE_QUERY_SUPPORT_H_

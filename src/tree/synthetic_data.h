// Generated trees of a given shape, for benchmarks and load tests.
//
// The tree follows the demo's ID scheme: top class t (1..99), subsystem
// t * 1000 + s, sub-function subsystem * 100 + f, detail sub-function * 100 + d.
// Names read "类别 3" / "類別 3" / "Class 3", "功能项 3-2-7-1" / "功能項 3-2-7-1" /
// "Function 3-2-7-1" and so on. Users 20001 and up each get a renamed detail,
// a hidden subsystem and a reordered sub-function; every top class and
// subsystem gets a shared default row (FUserID 0); a few account types and the
// Base/ServicePack row complete the account.
//
// Thread-safety: no state is kept between calls.
#ifndef LXM_TREE_SYNTHETIC_DATA_H_
#define LXM_TREE_SYNTHETIC_DATA_H_

#include <cstdint>
#include <string_view>

#include "platform/call_scope.h"

namespace lxm {

// Top classes, and per parent: subsystems, sub-functions, detail functions.
struct SyntheticShape {
  int32_t top_classes = 0;
  int32_t subsystems = 0;
  int32_t sub_functions = 0;
  int32_t detail_functions = 0;
  int32_t users = 300;
};

// The most children of one parent (and the most top classes) the ID scheme
// leaves room for.
inline constexpr int32_t kMaxSyntheticPerParent = 99;

// Parses "TOP,SUB,FUNC,DETAIL" (blanks around the numbers are allowed).
// Text that is not four integers raises error 13 (type mismatch); a count
// below 1 or above kMaxSyntheticPerParent raises errors::kInvalidCall with a
// description saying which count is wrong.
SyntheticShape ParseSyntheticShape(std::string_view text);

// Inserts the generated account in `transaction`, reusing one prepared
// statement per table. Raises errors::kInvalidCall for a shape that
// ParseSyntheticShape would reject or a negative user count.
// REQUIRES: the schema exists and its tables are empty.
void LoadSynthetic(Transaction& transaction, const SyntheticShape& shape);

}  // namespace lxm

#endif  // LXM_TREE_SYNTHETIC_DATA_H_

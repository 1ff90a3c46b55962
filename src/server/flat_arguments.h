// ReadFlatArguments: the arguments of the commonest request body read
// without building a JSON tree.
//
// Nearly every call a client makes is {"args":[descriptor, 0]}: a few plain
// texts and small numbers. This reads exactly such bodies and nothing else;
// for any other (nesting, escapes, non-ASCII text, fractions or large
// numbers, other keys, malformed JSON) it gives nullopt and the full decoder
// reads the body, reporting its errors. What it reads it gives exactly as
// the full decoder would.
#ifndef LXM_SERVER_FLAT_ARGUMENTS_H_
#define LXM_SERVER_FLAT_ARGUMENTS_H_

#include <optional>
#include <string_view>
#include <vector>

#include "platform/variant.h"

namespace lxm::server {

std::optional<std::vector<Variant>> ReadFlatArguments(std::string_view body);

}  // namespace lxm::server

#endif  // LXM_SERVER_FLAT_ARGUMENTS_H_

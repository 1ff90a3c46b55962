// Values as text for people: what the command line's `call` prints.
//
// Scalars print plainly (Null as "Null", Booleans as True/False, Doubles in
// their VB form); a dictionary prints as an indented tree of its keys; a
// vector as numbered items; a recordset as a table whose columns are aligned
// by display width (a Chinese character takes two columns), with its row
// count under it.
#ifndef LXM_SERVER_VALUE_TEXT_H_
#define LXM_SERVER_VALUE_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/recordset.h"
#include "platform/variant.h"

namespace lxm::server {

// The value as text, ending in a newline. Nested values are indented by
// `indent` spaces per level.
std::string FormatValue(const Variant& value, int indent = 0);

// A scalar on one line (line breaks shown as "\n").
std::string FormatScalar(const Variant& value);

// The recordset as an aligned table, each line prefixed by `indent` spaces.
std::string FormatTable(const Recordset& recordset, int indent = 0);

// Columns a UTF-8 text takes on a terminal.
size_t DisplayWidth(std::string_view text);

}  // namespace lxm::server

#endif  // LXM_SERVER_VALUE_TEXT_H_

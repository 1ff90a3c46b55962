// Binding the arguments of a call to a method's parameters.
//
// Positional arguments in the method's order; trailing optional parameters
// that are left out take their defaults. Each argument is converted to its
// parameter's type by the automation rules (convert.h): a Long parameter
// given 2.5 gets 2, given 3000000000 raises overflow (6), given "abc" raises
// type mismatch (13), given Null raises invalid use of Null (94). Those are
// automation errors (ComError), as the runtime would have raised them.
//
// What no rule converts is refused as a RequestError (HTTP 400): too many or
// too few arguments, a container or bytes where a String, Long, Boolean or
// Double is expected, a scalar where a Dictionary, Vector or Recordset is
// expected. Null or Empty for an object parameter passes Nothing.
#ifndef LXM_SERVER_ARGUMENTS_H_
#define LXM_SERVER_ARGUMENTS_H_

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/variant.h"
#include "server/type_library.h"

namespace lxm::server {

// The value given for parameter `param` (at 0-based `position`), converted.
Variant ConvertArgument(const Variant& value, const ParamInfo& param, size_t position);

// All arguments of a call, converted, defaults filled in.
Arguments BindArguments(const MethodInfo& method, const std::vector<Variant>& given);

// The positional arguments of a request body ({"args": [...]}; an empty
// body or one without "args" has none): the quick flat reader where it
// answers, else the full decoder. Raises RequestError (400) for a body that
// is not such an object, nests too deeply or holds a value that does not
// decode.
std::vector<Variant> ParseArguments(std::string_view body);
// The same by the full decoder alone.
std::vector<Variant> DecodeArgumentsJson(std::string_view body);

}  // namespace lxm::server

#endif  // LXM_SERVER_ARGUMENTS_H_

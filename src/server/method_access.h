// Which token may call which method, when the host has a token map.
//
// Every public method is in one table (method_access.cc), in one of these
// classes:
//
//   kOwnUser            reads and writes of the descriptor's user: a user
//                       token may call it for its own user only
//   kOwnUserOrTemplate  as kOwnUser in overlay mode; template mode
//                       (blnTemplate true) and writing another user's
//                       overlay (dctInfo's "TemplateUserID") need an
//                       administrator
//   kFavouriteGroup     as kOwnUser, and the favourite group the call names
//                       must belong to the token's user; group IDs are
//                       global, so the owner is read from the database, in
//                       the call's own transaction (Dispatcher)
//   kAdministration     the template, other users' data, whole-tree resets,
//                       refresh and synchronisation, commands: administrators
//   kInstallation       no descriptor, no user: files and components of the
//                       installation; any token the map knows
//
// An administrator token may call everything, for any user. A method
// missing from the table is refused to user tokens.
#ifndef LXM_SERVER_METHOD_ACCESS_H_
#define LXM_SERVER_METHOD_ACCESS_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "server/access_token.h"
#include "server/type_library.h"

namespace lxm::server {

enum class AccessClass {
  kOwnUser,
  kOwnUserOrTemplate,
  kFavouriteGroup,
  kAdministration,
  kInstallation,
};

struct MethodAccess {
  std::string_view prog_id;
  std::string_view method;
  AccessClass access;
  // kFavouriteGroup: the parameter naming the group (-1: the user's own
  // default group, or none).
  std::string_view group_param = {};
};

// Who calls, as the token map says.
struct Caller {
  int32_t user_id = 0;
  Role role = Role::kUser;
};

std::span<const MethodAccess> MethodAccessTable();
// The entry of a method (names compare without regard to case), or nullptr.
const MethodAccess* FindMethodAccess(std::string_view prog_id, std::string_view method);

// Refuses, with RequestError 403 "forbidden", what the caller may not do as
// far as the request itself tells. Returns the favourite group whose owner
// must still be checked against the caller's user, if any. `args` are bound
// to the method's parameters (BindArguments).
std::optional<int32_t> CheckAccess(const Caller& caller, std::string_view prog_id,
                                   const MethodInfo& method, const Arguments& args);

// Refuses (403) a favourite group that is not the caller's: `owner` is the
// group's FUserID, nothing when there is no such group (refused too: an item
// filed under a missing group would show in whoever's group later takes
// that number).
void CheckGroupOwner(const Caller& caller, std::string_view method, int32_t group,
                     std::optional<int32_t> owner);

}  // namespace lxm::server

#endif  // LXM_SERVER_METHOD_ACCESS_H_

// Whether the modules a node depends on are installed on this server.
//
// A node's module list ("FSubID") is text of module codes separated by ",".
// Each code is a value name under the key below of the registry the server
// reads ("PLX.Reg"); a module counts as installed when its value, taken as
// text, begins with the number 1 ("1", "1.0", " 1x"). A missing value reads
// as "" and so never as installed.
#ifndef LXM_TREE_INSTALLED_MODULES_H_
#define LXM_TREE_INSTALLED_MODULES_H_

#include <string_view>

namespace lxm {

class Runtime;

inline constexpr std::string_view kInstalledModulesKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\oxa\\InstallSys";

// True for an empty list. Otherwise the parts are walked in order and the
// result starts false: a part whose value reads 1 sets it to true, or to
// false when the part is empty (a list ending with "," reads the key's
// unnamed value for that part); other parts leave it. So a list is installed
// when any of its codes is. Raises what the registry reader raises.
bool IsModuleInstalled(Runtime& runtime, std::string_view module_list);

}  // namespace lxm

#endif  // LXM_TREE_INSTALLED_MODULES_H_

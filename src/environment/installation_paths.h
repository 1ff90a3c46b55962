// InstallationPaths: which edition of the product is installed on this
// machine, where, and where its patches are kept.
//
// On this platform the answers come from real paths ("/"-separated, never
// upper-cased), in this order:
//   1. the directories above the running executable: the first one named
//      after an edition ("R8EXPRESS", "R8STANDARD", "R8ULTIMATE") is the
//      installation; or one named "ZQSYSTEM", whose parent is the
//      installation and names the edition (names compared without regard to
//      case; /opt/velmora/R8STANDARD/ZQSYSTEM/bin/app gives /opt/velmora/
//      R8STANDARD, edition "R8STANDARD", code "XSE");
//   2. the "Path" value of "HKEY_LOCAL_MACHINE\SOFTWARE\VELMORA\ZQPRODUCT\" in
//      the file-backed registry, edition "R8ULTIMATE";
//   3. the configured installation root and edition (InstallationSettings);
//   4. the executable's own directory, edition "R8ULTIMATE".
// The answer is worked out once per process (kept in the runtime's shared
// properties), so it never depends on which call or thread asked first.
//
// Thread-safety: safe from any thread.
#ifndef LXM_ENVIRONMENT_INSTALLATION_PATHS_H_
#define LXM_ENVIRONMENT_INSTALLATION_PATHS_H_

#include <string>
#include <string_view>

#include "platform/runtime.h"

namespace lxm {

struct Installation {
  std::string path;          // the installation directory, no trailing "/"
  std::string edition_name;  // as found ("R8STANDARD", or a directory's own name)
};

class InstallationPaths {
 public:
  explicit InstallationPaths(Runtime& runtime) : runtime_(&runtime) {}

  // The installation as the rules above find it, without caching. Raises what
  // the registry reader raises.
  Installation ResolveInstallation() const;
  // The installation directory with a trailing "/" (cached per process).
  std::string GetInstallPath() const;
  std::string GetInstallRoot() const { return GetInstallPath(); }
  // GetInstallRoot() + "ZQSYSTEM/ZQCOM" (no trailing "/").
  std::string GetComDir() const;
  // "XEE" (R8EXPRESS), "XSE" (R8STANDARD) or "XUE" (anything else).
  std::string GetEditionCode() const;
  // `key` with the edition's suffix: "\XEE", "\XSE", nothing for another
  // code; an empty `code` means the installed edition.
  std::string AppendEditionKey(std::string_view key, std::string_view code) const;
  // The configured patch directory, else GetInstallRoot() + "ZQPatchs/";
  // always with a trailing "/".
  std::string GetPatchDir() const;
  // No 32-bit-on-64-bit system directory exists here.
  static bool IsWow64System() { return false; }
  // `path` with one "/" appended unless it already ends with one.
  static std::string AddBackslash(std::string_view path);

 private:
  Installation Cached() const;

  Runtime* runtime_;
};

}  // namespace lxm

#endif  // LXM_ENVIRONMENT_INSTALLATION_PATHS_H_

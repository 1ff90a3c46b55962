#include "environment/installation_paths.h"

#include <unistd.h>

#include <array>
#include <filesystem>

#include "platform/convert.h"
#include "platform/dictionary.h"
#include "platform/registry.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

constexpr std::string_view kFallbackKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQPRODUCT\\";
constexpr std::string_view kSystemDirectory = "ZQSYSTEM";
constexpr std::string_view kUltimate = "R8ULTIMATE";
constexpr std::array<std::string_view, 3> kEditionNames = {"R8STANDARD", "R8EXPRESS", "R8ULTIMATE"};
constexpr std::string_view kPropertyGroup = "LXMDataFlow.InstallationPaths";

std::string ExecutablePath(const InstallationSettings& settings) {
  if (!settings.executable_path.empty()) return settings.executable_path;
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.string();
}

bool IsEditionName(std::string_view name) {
  for (std::string_view edition : kEditionNames) {
    if (EqualsIgnoreCase(name, edition)) return true;
  }
  return false;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

Installation InstallationPaths::ResolveInstallation() const {
  const InstallationSettings& settings = runtime_->installation();
  std::filesystem::path executable(ExecutablePath(settings));
  std::string own_directory = executable.parent_path().string();

  // Walk up from the executable's directory.
  for (std::filesystem::path dir = executable.parent_path(); dir.has_relative_path(); dir = dir.parent_path()) {
    std::string name = dir.filename().string();
    if (IsEditionName(name)) return {dir.string(), name};
    if (EqualsIgnoreCase(name, kSystemDirectory)) {
      std::filesystem::path parent = dir.parent_path();
      return {parent.string(), parent.filename().string()};
    }
  }

  RegistryReader registry(runtime_->registry());
  std::string registered = CStr(registry.ReadValue(kFallbackKey, "Path", Variant("")));
  if (!registered.empty()) return {WithoutTrailingSlashes(registered), std::string(kUltimate)};
  if (!settings.install_root.empty()) {
    return {WithoutTrailingSlashes(settings.install_root),
            settings.edition.empty() ? std::string(kUltimate) : settings.edition};
  }
  return {own_directory, std::string(kUltimate)};
}

Installation InstallationPaths::Cached() const {
  // Path and edition are kept together, so they always come from one answer.
  Variant kept = runtime_->shared_properties().GetOrMake(kPropertyGroup, "Installation", [&] {
    Installation found = ResolveInstallation();
    auto entry = Dictionary::Create();
    entry->Set("Path", Variant(found.path));
    entry->Set("EditionName", Variant(found.edition_name));
    return Variant(entry);
  });
  const Dictionary& entry = *kept.AsDictionary();
  return {entry.Item("Path").AsString(), entry.Item("EditionName").AsString()};
}

std::string InstallationPaths::GetInstallPath() const { return AddBackslash(Cached().path); }

std::string InstallationPaths::GetComDir() const {
  return GetInstallRoot() + std::string(kSystemDirectory) + "/ZQCOM";
}

std::string InstallationPaths::GetEditionCode() const {
  std::string name = Cached().edition_name;
  if (EqualsIgnoreCase(name, "R8EXPRESS")) return "XEE";
  if (EqualsIgnoreCase(name, "R8STANDARD")) return "XSE";
  return "XUE";
}

std::string InstallationPaths::AppendEditionKey(std::string_view key, std::string_view code) const {
  std::string edition = code.empty() ? GetEditionCode() : std::string(code);
  if (edition == "XEE") return std::string(key) + "\\XEE";
  if (edition == "XSE") return std::string(key) + "\\XSE";
  return std::string(key);
}

std::string InstallationPaths::GetPatchDir() const {
  const std::string& configured = runtime_->installation().patch_dir;
  if (!configured.empty()) return AddBackslash(configured);
  return GetInstallRoot() + "ZQPatchs/";
}

std::string InstallationPaths::AddBackslash(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != '/') result.push_back('/');
  return result;
}

}  // namespace lxm

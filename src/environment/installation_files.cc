// DatasInfo: pictures, patches and plain files of the installation, handed
// to clients that cannot see the server's disk.
#include <array>
#include <fstream>
#include <set>
#include <sstream>

#include "environment/installation_paths.h"
#include "environment/profile_file.h"
#include "environment/served_files.h"
#include "info/datas_info.h"
#include "platform/call_scope.h"
#include "platform/com_error.h"
#include "platform/convert.h"
#include "platform/registry.h"
#include "platform/text_util.h"

namespace lxm {

namespace {

constexpr std::array<std::string_view, 6> kPictures = {
    "MAIN_PIC_LOG_LEFT.bmp",           "MAIN_PIC_LOG_RIGHT.bmp",           "LOGIN_PIC_LOG_TOP.bmp",
    "LOGIN_PIC_LOG_BOTTOM.bmp",        "MAIN_PIC_LOG_LEFT_FLOWCHART.bmp", "MAIN_PIC_LOG_RIGHT_FLOWCHART.bmp",
};
constexpr std::string_view kPictureSource = "LXMDataFlow.DatasUpdate:GetPicInfo";
constexpr std::string_view kPatchLog = "Backup/ZQPatchHistory.log";
constexpr std::string_view kPatchSection = "ZQPatchHistory";
constexpr std::string_view kServicePackKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQSERVICEPACK\\";
constexpr std::string_view kInstalledMark = "Start installation";
constexpr size_t kPatchCodeLength = 8;

// A patch code names a folder and a program: letters, digits and underscores
// only, so a log line can never lead a path elsewhere.
bool IsPatchCode(std::string_view code) {
  if (code.empty() || code.size() > kPatchCodeLength) return false;
  for (char c : code) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct PatchEntry {
  std::string number;
  std::string code;
};

// The installed patches in log order (a number met again replaces its code
// in place, as a dictionary would).
std::shared_ptr<Dictionary> ReadPatchList(Runtime& runtime) {
  auto list = Dictionary::Create();
  InstallationPaths paths(runtime);
  ServedFiles files(runtime.installation());
  std::optional<std::filesystem::path> log = files.Resolve(paths.GetPatchDir() + std::string(kPatchLog));
  if (!log) return list;
  std::string text = ReadText(*log);
  RegistryReader registry(runtime.registry());

  std::vector<std::string> codes;
  std::set<std::string> seen;
  std::string_view rest = text;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (TrimSpaces(line).empty() || line.find(kInstalledMark) == std::string_view::npos) continue;
    std::string code(TrimSpaces(RightChars(line, kPatchCodeLength)));
    if (!IsPatchCode(code)) continue;
    std::string version = CStr(registry.ReadValue(std::string(kServicePackKey) + code, "VERSION", Variant("")));
    if (!version.empty() && seen.insert(code).second) codes.push_back(code);
  }
  for (size_t i = 0; i < codes.size(); ++i) {
    std::string number = ReadProfileString(text, kPatchSection, codes[i], "");
    if (number.empty()) {
      std::string position = "000000" + std::to_string(i + 1);
      number = "M" + position.substr(position.size() - 6);
    }
    list->Set(number, Variant(codes[i]));
  }
  return list;
}

}  // namespace

std::shared_ptr<Vector> DatasInfo::GetPicInfo() {
  try {
    return RunInCallScope(*runtime_, false, [&] {
      auto pictures = Vector::Create();
      ServedFiles files(runtime_->installation());
      std::string folder = InstallationPaths(*runtime_).GetComDir() + "/";
      for (std::string_view name : kPictures) {
        std::string path = folder + std::string(name);
        auto entry = Dictionary::Create();
        entry->Set("Type", Variant("Middle"));
        if (files.FileExists(path)) {
          entry->Set("Image", Variant(files.FileToVariant(path)));
          entry->Set("Ok", Variant("true"));
        } else {
          entry->Set("Image", Variant(""));
          entry->Set("Ok", Variant("false"));
        }
        pictures->Append(Variant(entry));
      }
      GetObjectContext().SetComplete();
      return pictures;
    });
  } catch (const ComError& error) {
    throw ComError(error.number(), std::string(kPictureSource), error.description(), error.help_file(),
                   error.help_context());
  }
}

std::shared_ptr<Dictionary> DatasInfo::GetPatchLst() {
  try {
    return ReadPatchList(*runtime_);
  } catch (const std::exception&) {
    return nullptr;  // never reported
  }
}

std::shared_ptr<Dictionary> DatasInfo::GetPatchFile(const std::shared_ptr<Dictionary>& dctPatch) {
  try {
    std::shared_ptr<Dictionary> list = ReadPatchList(*runtime_);
    ServedFiles files(runtime_->installation());
    std::string patch_dir = InstallationPaths(*runtime_).GetPatchDir();
    auto result = Dictionary::Create();
    auto numbers = Dictionary::Create();
    for (const auto& [number, value] : list->entries()) {
      std::string code = CStr(value);
      Variant held;
      if (number.empty() || number[0] != 'A') continue;
      if (dctPatch != nullptr && dctPatch->Lookup(code, &held)) continue;
      std::string program = patch_dir + code + "/" + code + ".exe";
      if (!files.FileExists(program)) continue;
      auto delivered = Dictionary::Create();
      delivered->Set(code + ".exe", Variant(files.FileToVariant(program)));
      numbers->Set(number, Variant(code));
      result->Set(code, Variant(delivered));
    }
    result->Set("Number", Variant(numbers));
    return result;
  } catch (const std::exception&) {
    return nullptr;  // never reported
  }
}

bool DatasInfo::FileExists(const std::string& strFilePath) {
  return ServedFiles(runtime_->installation()).FileExists(strFilePath);
}

int32_t DatasInfo::GetFileSize(const std::string& strFilePath) {
  return ServedFiles(runtime_->installation()).GetFileSize(strFilePath);
}

Bytes DatasInfo::FileToVariant(const std::string& strLocalFile) {
  return ServedFiles(runtime_->installation()).FileToVariant(strLocalFile);
}

}  // namespace lxm

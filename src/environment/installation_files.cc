// DatasInfo: pictures, patches and plain files of the installation, handed
// to clients that cannot see the server's disk.
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

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

// The whole file, or nothing when it cannot be opened.
std::optional<std::string> ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
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
  // Read here, not handed to a client: the file roots do not limit it.
  std::optional<std::string> log = ReadText(InstallationPaths(runtime).GetPatchDir() + std::string(kPatchLog));
  if (!log) return list;
  const std::string& text = *log;
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
      ServedFiles files(*runtime_);
      std::string folder = InstallationPaths(*runtime_).GetComDir() + "/";
      for (std::string_view name : kPictures) {
        auto entry = Dictionary::Create();
        entry->Set("Type", Variant("Middle"));
        if (std::optional<Bytes> image = files.ReadIfServed(folder + std::string(name))) {
          entry->Set("Image", Variant(std::move(*image)));
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
    ServedFiles files(*runtime_);
    std::string patch_dir = InstallationPaths(*runtime_).GetPatchDir();
    auto result = Dictionary::Create();
    auto numbers = Dictionary::Create();
    for (const auto& [number, value] : list->entries()) {
      std::string code = CStr(value);
      // The client's dictionary is asked of every patch, as the three tests
      // are one condition: without one the call fails (and is not told).
      if (dctPatch == nullptr) throw RuntimeError(errors::kObjectNotSet);
      Variant held;
      bool held_already = dctPatch->Lookup(code, &held);
      if (number.empty() || number[0] != 'A' || held_already) continue;
      std::optional<Bytes> program = files.ReadIfServed(patch_dir + code + "/" + code + ".exe");
      if (!program) continue;
      auto delivered = Dictionary::Create();
      delivered->Set(code + ".exe", Variant(std::move(*program)));
      numbers->Set(number, Variant(code));
      result->Set(code, Variant(delivered));
    }
    result->Set("Number", Variant(numbers));
    return result;
  } catch (const std::exception&) {
    return nullptr;  // never reported
  }
}

bool DatasInfo::FileExists(const std::string& strFilePath) { return ServedFiles(*runtime_).FileExists(strFilePath); }

int32_t DatasInfo::GetFileSize(const std::string& strFilePath) {
  return ServedFiles(*runtime_).GetFileSize(strFilePath);
}

Bytes DatasInfo::FileToVariant(const std::string& strLocalFile) {
  return ServedFiles(*runtime_).FileToVariant(strLocalFile);
}

}  // namespace lxm

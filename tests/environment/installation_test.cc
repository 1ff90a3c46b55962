// The installation as the service finds it, and the files it hands out: only
// under the configured roots, whatever the path says.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "environment/installation_paths.h"
#include "environment/profile_file.h"
#include "info/datas_info.h"
#include "platform/byte_budget.h"
#include "platform/com_error.h"
#include "server/dispatcher.h"
#include "test_support/account_fixture.h"
#include "test_support/error_matchers.h"

namespace lxm {
namespace {

using Json = nlohmann::ordered_json;

void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::unique_ptr<Runtime> MakeRuntime(InstallationSettings settings, std::string_view registry_json = "{}") {
  RuntimeOptions options;
  options.installation = std::move(settings);
  options.registry = RegistryData::Parse(registry_json, "test");
  return std::make_unique<Runtime>(options);
}

TEST(InstallationPathsTest, FindsTheInstallationFromTheExecutableRegistryOrSettings) {
  struct Case {
    const char* executable;
    const char* registry;
    const char* root;
    const char* edition;
    const char* install_path;
    const char* code;
    const char* com_dir;
  };
  const Case cases[] = {
      {"/opt/velmora/R8STANDARD/ZQSYSTEM/bin/app", "{}", "", "", "/opt/velmora/R8STANDARD/", "XSE",
       "/opt/velmora/R8STANDARD/ZQSYSTEM/ZQCOM"},
      {"/tools/x/ZQSYSTEM/app", "{}", "", "", "/tools/x/", "XUE", "/tools/x/ZQSYSTEM/ZQCOM"},
      {"/srv/Velmora/r8Express/zqsystem/zqcom/host", "{}", "", "", "/srv/Velmora/r8Express/", "XEE",
       "/srv/Velmora/r8Express/ZQSYSTEM/ZQCOM"},
      {"/usr/bin/app", R"({"HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQPRODUCT": {"path": "/opt/r8/"}})", "/srv/r8",
       "R8EXPRESS", "/opt/r8/", "XUE", "/opt/r8/ZQSYSTEM/ZQCOM"},
      {"/usr/bin/app", "{}", "/srv/r8", "R8EXPRESS", "/srv/r8/", "XEE", "/srv/r8/ZQSYSTEM/ZQCOM"},
      {"/usr/bin/app", "{}", "", "", "/usr/bin/", "XUE", "/usr/bin/ZQSYSTEM/ZQCOM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.executable);
    auto runtime = MakeRuntime({c.executable, c.root, c.edition, ""}, c.registry);
    InstallationPaths paths(*runtime);
    EXPECT_EQ(paths.GetInstallPath(), c.install_path);
    EXPECT_EQ(paths.GetEditionCode(), c.code);
    EXPECT_EQ(paths.GetComDir(), c.com_dir);
    EXPECT_EQ(paths.GetPatchDir(), std::string(c.install_path) + "ZQPatchs/");
  }

  auto runtime = MakeRuntime({"/opt/velmora/R8STANDARD/ZQSYSTEM/app", "", "", "/var/patches"});
  InstallationPaths paths(*runtime);
  EXPECT_EQ(paths.GetPatchDir(), "/var/patches/");
  EXPECT_EQ(paths.AppendEditionKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQMIDDLEWARE", "XUE"),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQMIDDLEWARE");
  EXPECT_EQ(paths.AppendEditionKey("K", "XEE"), "K\\XEE");
  EXPECT_EQ(paths.AppendEditionKey("K", ""), "K\\XSE");  // the installed edition
  EXPECT_EQ(InstallationPaths::AddBackslash("/a"), "/a/");
  EXPECT_EQ(InstallationPaths::AddBackslash("/a/"), "/a/");
  EXPECT_FALSE(InstallationPaths::IsWow64System());

  // Worked out once per process: every thread gets the same answer.
  std::vector<std::string> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] { seen[i] = paths.GetInstallPath() + paths.GetEditionCode(); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& answer : seen) EXPECT_EQ(answer, "/opt/velmora/R8STANDARD/XSE");
}

TEST(RegistryTest, ReadsValuesIgnoringCaseAndRefusesMalformedFiles) {
  auto data = RegistryData::Parse(R"({"HKEY_LOCAL_MACHINE\\Soft\\Key\\": {"Path": "/x", "": "default", "N": 7}})",
                                  "test");
  RegistryReader reader(data);
  EXPECT_EQ(reader.ReadValue("hkey_local_machine\\SOFT\\key", "PATH", Variant("")).AsString(), "/x");
  EXPECT_EQ(reader.ReadValue("HKEY_LOCAL_MACHINE\\Soft\\Key", "", Variant("")).AsString(), "default");
  EXPECT_EQ(reader.ReadValue("HKEY_LOCAL_MACHINE\\Soft\\Key", "N", Variant(0)).AsLong(), 7);
  EXPECT_EQ(reader.ReadValue("HKEY_LOCAL_MACHINE\\Soft\\Other", "Path", Variant("none")).AsString(), "none");
  for (const char* bad : {"not json", "[1]", R"({"K": 5})", R"({"K": {"V": [1]}})", R"({"K": {"V": 1e12}})"}) {
    SCOPED_TRACE(bad);
    auto error = test::ErrorOf([&] { RegistryData::Parse(bad, "reg.json"); });
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->description().find("reg.json"), std::string::npos) << error->description();
  }
  EXPECT_TRUE(test::ErrorOf([] { RegistryData::LoadFile("/nonexistent/reg.json"); }).has_value());
}

TEST(ProfileFileTest, ReadsLikeTheSystemsProfileReader) {
  const std::string text =
      "; comment\r\n[Other]\r\nPT1=X\r\n[zqpatchhistory]\r\n  pt1 =  A001  \r\n;PT2=B\r\nPT1=A999\r\n"
      "[ZQPatchHistory]\r\nPT3=A003\r\n";
  EXPECT_EQ(ReadProfileString(text, "ZQPatchHistory", "PT1", ""), "A001");
  EXPECT_EQ(ReadProfileString(text, "ZQPatchHistory", "PT2", "none"), "none");
  EXPECT_EQ(ReadProfileString(text, "ZQPatchHistory", "PT3", "none"), "none");  // second section ignored
  EXPECT_EQ(ReadProfileString(text, "Other", "pt1", ""), "X");
}

class InstallationFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.path() / "R8STANDARD";
    WriteFile(root_ / "ZQSYSTEM" / "ZQCOM" / "LOGIN_PIC_LOG_TOP.bmp", "BMP!");
    WriteFile(root_ / "ZQSYSTEM" / "ZQCOM" / "empty.txt", "");
    WriteFile(root_ / "ZQSYSTEM" / "ZQCOM" / "big.bin", std::string(4097, 'x'));
    WriteFile(dir_.path() / "secret.txt", "secret");
    std::filesystem::create_symlink(dir_.path() / "secret.txt", root_ / "link.txt");
    Reload();
  }

  // A runtime with the current registry text.
  void Reload() {
    InstallationSettings settings;
    settings.executable_path = (root_ / "ZQSYSTEM" / "bin" / "app").string();
    settings.file_roots = {root_.string()};
    settings.max_file_bytes = 5000;
    runtime_ = MakeRuntime(settings, registry_);
  }

  test::TempDir dir_;
  std::filesystem::path root_;
  std::string registry_ = "{}";
  std::unique_ptr<Runtime> runtime_;
};

TEST_F(InstallationFilesTest, ServesOnlyFilesUnderTheRootsAndAnswersTheSameOverJson) {
  std::string com = (root_ / "ZQSYSTEM" / "ZQCOM").string();
  struct Case {
    std::string path;
    bool served;
  };
  const Case cases[] = {
      {com + "/LOGIN_PIC_LOG_TOP.bmp", true},
      {com + "/../ZQCOM/./LOGIN_PIC_LOG_TOP.bmp", true},
      {com + "/../../../secret.txt", false},
      {(dir_.path() / "secret.txt").string(), false},
      {(root_ / "link.txt").string(), false},
      {com, false},  // a folder
      {com + "/missing.bmp", false},
      {com + std::string("/LOGIN_PIC_LOG_TOP.bmp\0x", 24), false},
      {com + "/" + std::string(10000, 'a'), false},
      {"", false},
  };
  DatasInfo info(*runtime_);
  server::Dispatcher dispatcher(*runtime_, server::PublicTypeLibrary(), {});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 120));
    EXPECT_EQ(info.FileExists(c.path), c.served);
    std::string body = R"({"args":[)" + Json(c.path).dump() + "]}";
    EXPECT_EQ(dispatcher.Call("LXMDataFlow.DatasInfo", "FileExists", body).body,
              c.served ? R"({"result":true})" : R"({"result":false})");
    if (c.served) {
      EXPECT_EQ(info.GetFileSize(c.path), 4);
      EXPECT_EQ(info.FileToVariant(c.path), (Bytes{'B', 'M', 'P', '!'}));
      continue;
    }
    EXPECT_EQ(test::ErrorNumberOf([&] { info.GetFileSize(c.path); }), 53);
    auto error = test::ErrorOf([&] { info.FileToVariant(c.path); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errors::kInvalidCall);
    EXPECT_EQ(error->source(), "LXMDataFlow.DatasUpdate");
    EXPECT_EQ(error->description(), "File \"" + c.path + "\" not found!");
  }
  EXPECT_EQ(info.FileToVariant(com + "/empty.txt"), Bytes{0});
  EXPECT_EQ(info.FileToVariant(com + "/big.bin"), Bytes(4097, 'x'));
  // Over the size limit, or over the bytes all replies may hold (which caps
  // it), a file reads as missing everywhere.
  for (InstallationSettings settings : {InstallationSettings{"", "", "", "", {root_.string()}, 4096},
                                        InstallationSettings{"", "", "", "", {root_.string()}, 5000, 4096}}) {
    runtime_ = MakeRuntime(settings, "{}");
    DatasInfo limited(*runtime_);
    EXPECT_FALSE(limited.FileExists(com + "/big.bin"));
    EXPECT_EQ(test::ErrorNumberOf([&] { limited.GetFileSize(com + "/big.bin"); }), 53);
    EXPECT_EQ(test::ErrorNumberOf([&] { limited.FileToVariant(com + "/big.bin"); }), errors::kInvalidCall);
    EXPECT_EQ(limited.GetFileSize(com + "/LOGIN_PIC_LOG_TOP.bmp"), 4);
  }
  // Without roots nothing is served.
  runtime_ = MakeRuntime({}, "{}");
  EXPECT_FALSE(DatasInfo(*runtime_).FileExists(com + "/LOGIN_PIC_LOG_TOP.bmp"));
}

TEST_F(InstallationFilesTest, PicturesComeInTheirOrderFoundOrNot) {
  // A picture over the size limit reads as missing, not as a failure.
  WriteFile(root_ / "ZQSYSTEM" / "ZQCOM" / "MAIN_PIC_LOG_LEFT.bmp", std::string(6000, 'x'));
  std::shared_ptr<Vector> pictures = DatasInfo(*runtime_).GetPicInfo();
  ASSERT_EQ(pictures->Count(), 6);
  for (int32_t position = 1; position <= 6; ++position) {
    SCOPED_TRACE(position);
    const Dictionary& entry = *pictures->Item(position).AsDictionary();
    EXPECT_EQ(entry.KeyAt(1), "Type");
    EXPECT_EQ(entry.Item("Type").AsString(), "Middle");
    if (position == 3) {
      EXPECT_EQ(entry.Item("Ok").AsString(), "true");
      EXPECT_EQ(entry.Item("Image").AsBytes(), (Bytes{'B', 'M', 'P', '!'}));
    } else {
      EXPECT_EQ(entry.Item("Ok").AsString(), "false");
      EXPECT_EQ(entry.Item("Image").AsString(), "");
    }
  }
}

TEST_F(InstallationFilesTest, PatchesComeFromTheLogTheRegistryAndTheHistorySection) {
  std::filesystem::path patches = root_ / "ZQPatchs";
  WriteFile(patches / "Backup" / "ZQPatchHistory.log",
            "2026-01-01 Start installation PT000123\r\n"
            "2026-01-02 Start installation PT000200\r\n"
            "2026-01-02 Start installation PT000200  \r\n"     // last 8 characters: "000200"
            "2026-01-03 Start installation ../../x\r\n"      // not a code: skipped
            "2026-01-04 start installation PT000300\r\n"     // not the mark
            "2026-01-05 Start installation PT000400\r\n"     // not installed
            "2026-01-06 Start installation PT000500\r\n"
            "2026-01-07 Start installation PT000123\r\n"     // listed once
            "\r\n[ZQPatchHistory]\r\nPT000123=A0001\r\nPT000200=M7\r\n");
  WriteFile(patches / "PT000123" / "PT000123.exe", "EXE1");
  WriteFile(patches / "PT000500" / "PT000500.exe", "EXE5");
  registry_ = R"({"HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQSERVICEPACK\\PT000123": {"VERSION": "1"},
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQSERVICEPACK\\PT000200": {"VERSION": "2"},
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQSERVICEPACK\\PT000500": {"VERSION": "5"},
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQSERVICEPACK\\..\\..\\x": {"VERSION": "9"}})";
  Reload();
  DatasInfo info(*runtime_);
  std::shared_ptr<Dictionary> list = info.GetPatchLst();
  ASSERT_NE(list, nullptr);
  std::vector<std::pair<std::string, std::string>> entries;
  for (const auto& [number, code] : list->entries()) entries.emplace_back(number, code.AsString());
  EXPECT_EQ(entries, (std::vector<std::pair<std::string, std::string>>{
                         {"A0001", "PT000123"}, {"M7", "PT000200"}, {"M000003", "PT000500"}}));

  auto held = Dictionary::Create();
  std::shared_ptr<Dictionary> delivery = info.GetPatchFile(held);
  ASSERT_NE(delivery, nullptr);
  EXPECT_EQ(delivery->Count(), 2);
  EXPECT_EQ(delivery->Item("PT000123").AsDictionary()->Item("PT000123.exe").AsBytes(), (Bytes{'E', 'X', 'E', '1'}));
  EXPECT_EQ(delivery->Item("Number").AsDictionary()->Item("A0001").AsString(), "PT000123");
  held->Set("PT000123", Variant(true));
  delivery = info.GetPatchFile(held);
  EXPECT_EQ(delivery->Count(), 1);
  EXPECT_EQ(delivery->Item("Number").AsDictionary()->Count(), 0);

  // Without a dictionary of held patches the call fails, and says nothing.
  EXPECT_EQ(info.GetPatchFile(nullptr), nullptr);

  // The log is read on the server whatever the roots say; only the
  // programs handed over must lie under them.
  InstallationSettings unrooted;
  unrooted.executable_path = (root_ / "ZQSYSTEM" / "bin" / "app").string();
  std::unique_ptr<Runtime> unrooted_runtime = MakeRuntime(unrooted, registry_);
  DatasInfo without_roots(*unrooted_runtime);
  EXPECT_EQ(without_roots.GetPatchLst()->Count(), 3);
  delivery = without_roots.GetPatchFile(Dictionary::Create());
  ASSERT_NE(delivery, nullptr);
  EXPECT_EQ(delivery->Count(), 1);
  EXPECT_EQ(delivery->Item("Number").AsDictionary()->Count(), 0);

  // No log: an empty list, and a delivery of nothing but "Number".
  std::filesystem::remove(patches / "Backup" / "ZQPatchHistory.log");
  EXPECT_EQ(info.GetPatchLst()->Count(), 0);
  EXPECT_EQ(info.GetPatchFile(nullptr)->Count(), 1);
}

// The replies in flight hold at most the budget's bytes of files: a read
// beyond it waits for one to be sent, then fails; over HTTP the share lasts
// until the reply is gone.
TEST_F(InstallationFilesTest, FileRepliesInFlightStayWithinTheirBudget) {
  InstallationSettings settings{"", "", "", "", {root_.string()}, 5000, 6000};
  settings.file_wait_ms = 200;
  runtime_ = MakeRuntime(settings, "{}");
  const std::string big = (root_ / "ZQSYSTEM" / "ZQCOM" / "big.bin").string();
  DatasInfo info(*runtime_);
  {
    ReplyHolds first;
    EXPECT_EQ(info.FileToVariant(big).size(), 4097u);
    EXPECT_EQ(runtime_->file_bytes().in_use(), 4097);
    auto started = std::chrono::steady_clock::now();
    auto error = test::ErrorOf([&] { info.FileToVariant(big); });
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(150));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errors::kOutOfMemory);
    EXPECT_NE(error->description().find("6000 bytes of files"), std::string::npos) << error->description();
    // A small one still fits beside it.
    EXPECT_EQ(info.FileToVariant(root_.string() + "/ZQSYSTEM/ZQCOM/LOGIN_PIC_LOG_TOP.bmp").size(), 4u);
  }
  // Given back with the reply; an in-process call keeps nothing.
  EXPECT_EQ(runtime_->file_bytes().in_use(), 0);
  EXPECT_EQ(info.FileToVariant(big).size(), 4097u);
  EXPECT_EQ(runtime_->file_bytes().in_use(), 0);

  server::Dispatcher dispatcher(*runtime_, server::PublicTypeLibrary(), {});
  const std::string body = R"({"args":[)" + Json(big).dump() + "]}";
  server::Reply reply = dispatcher.Call("LXMDataFlow.DatasInfo", "FileToVariant", body);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(runtime_->file_bytes().in_use(), 4097);
  EXPECT_EQ(dispatcher.Call("LXMDataFlow.DatasInfo", "FileToVariant", body).status, 500);
  reply = server::Reply();
  EXPECT_EQ(dispatcher.Call("LXMDataFlow.DatasInfo", "FileToVariant", body).status, 200);
  EXPECT_EQ(runtime_->file_bytes().in_use(), 0);
}

// The file is checked and opened in one step: swapped for a link to a file
// outside the root while it is read again and again, what comes back is
// never the outside file.
TEST_F(InstallationFilesTest, AFileSwappedForALinkIsNeverFollowedOut) {
  const std::filesystem::path inside = root_ / "ZQSYSTEM" / "ZQCOM" / "swapped.txt";
  const std::filesystem::path plain = root_ / "plain.txt";
  const std::filesystem::path link = root_ / "link-out";
  WriteFile(plain, "inside");
  std::filesystem::create_symlink(dir_.path() / "secret.txt", link);
  std::atomic<bool> done = false;
  std::thread swapper([&] {
    std::error_code ignored;
    while (!done) {
      std::filesystem::copy_file(plain, root_ / "next.txt", std::filesystem::copy_options::overwrite_existing,
                                 ignored);
      std::filesystem::rename(root_ / "next.txt", inside, ignored);
      std::filesystem::copy_symlink(link, root_ / "next-link", ignored);
      std::filesystem::rename(root_ / "next-link", inside, ignored);
    }
  });
  DatasInfo info(*runtime_);
  int read = 0;
  int leaked = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < until) {
    try {
      Bytes bytes = info.FileToVariant(inside.string());
      ++read;
      if (std::string(bytes.begin(), bytes.end()) == "secret") ++leaked;
    } catch (const ComError&) {
      // Missing at that moment, or a link: not served.
    }
  }
  done = true;
  swapper.join();
  EXPECT_GT(read, 0);
  EXPECT_EQ(leaked, 0) << "of " << read << " reads";
}

}  // namespace
}  // namespace lxm

// Commands on the server: only allowed command lines run, without a shell,
// within their time; the middleware's registration goes through them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/com_error.h"
#include "test_support/account_fixture.h"
#include "test_support/error_matchers.h"
#include "update/datas_update.h"

namespace lxm {
namespace {

TEST(CommandLineTest, SplitsOnBlanksAndQuotesOnly) {
  EXPECT_EQ(SplitCommandLine(R"(/bin/echo a  "b c" d;e $HOME)"),
            (std::vector<std::string>{"/bin/echo", "a", "b c", "d;e", "$HOME"}));
  EXPECT_EQ(SplitCommandLine("  "), std::vector<std::string>{});
}

TEST(ExecCmdTest, RunsOnlyAllowedCommandLinesAndReportsTheirFailure) {
  test::TempDir dir;
  std::filesystem::path marker = dir.path() / "ran";
  RuntimeOptions options;
  options.commands.allowed = {{"/bin/true", ""},
                              {"/bin/false", ""},
                              {"/bin/sleep", "[0-9]+"},
                              {"/usr/bin/touch", "/tmp/[^ ]*"}};
  options.commands.timeout_seconds = 1;
  Runtime runtime(options);
  DatasUpdate update(runtime);
  struct Case {
    std::string command;
    int32_t error;  // 0: runs and succeeds
  };
  const Case cases[] = {
      {"/bin/true", 0},
      {"/bin/false", errors::kInvalidCall},                     // exit status 1
      {"/bin/true extra", errors::kPermissionDenied},           // arguments not allowed
      {"true", errors::kPermissionDenied},                      // not the exact program
      {"/bin/sh -c true", errors::kPermissionDenied},
      {"/usr/bin/touch " + marker.string() + "; /bin/true", errors::kPermissionDenied},
      {"/bin/sleep 5", errors::kInvalidCall},                   // stopped at the time limit
      {"", errors::kPermissionDenied},
      // Matching recurses once per character: a huge argument is refused
      // before it can overflow the stack.
      {"/bin/sleep " + std::string(2000000, '1'), errors::kPermissionDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command.substr(0, 40));
    std::string cmdline = c.command;
    auto started = std::chrono::steady_clock::now();
    auto error = test::ErrorOf([&] { update.ExecCmd(cmdline); });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
    EXPECT_EQ(cmdline, c.command);
    if (c.error == 0) {
      EXPECT_FALSE(error.has_value()) << error->description();
    } else {
      ASSERT_TRUE(error.has_value());
      EXPECT_EQ(error->number(), c.error);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
  // Nothing is allowed by default.
  Runtime closed;
  std::string cmdline = "/bin/true";
  EXPECT_EQ(test::ErrorNumberOf([&] { DatasUpdate(closed).ExecCmd(cmdline); }), errors::kPermissionDenied);
}

class RegMiddleTest : public ::testing::Test {
 protected:
  // A middleware folder whose programs leave a note of their arguments.
  void SetUp() override {
    middleware_ = dir_.path() / "mw";
    std::filesystem::create_directories(middleware_);
    for (const char* program : {"Pakrun.exe", "Halvex.exe"}) {
      std::filesystem::path path = middleware_ / program;
      std::ofstream(path) << "#!/bin/sh\necho \"$0 $*\" >> " << (dir_.path() / "log").string() << "\n";
      ::chmod(path.c_str(), 0755);
    }
  }

  std::unique_ptr<Runtime> MakeRuntime(const std::string& registered, bool allow) {
    RuntimeOptions options;
    std::string mw = middleware_.string();
    options.registry = RegistryData::Parse(
        R"({"HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\ZQMIDDLEWARE\\XSE": {"path": ")" + mw + R"("},
            "HKEY_CLASSES_ROOT\\ZQSvrMgr.ServerManager\\Clsid": {"": "{1}"},
            "HKEY_CLASSES_ROOT\\CLSID\\{1}\\InprocServer32": {"": ")" + registered + R"("},
            "HKEY_CLASSES_ROOT\\CLSID\\{1}\\LocalServer32": {"": "/srv/local.exe"}})",
        "test");
    if (allow) {
      options.commands.allowed = {{mw + "/Pakrun.exe", "AddOnePackage-(zqsvrmgr|oxasystem)"},
                                  {mw + "/Halvex.exe", "/regserver"},
                                  {"regsvr32.exe", "/s .*"}};
    }
    return std::make_unique<Runtime>(options);
  }

  std::string Log() {
    std::ifstream in(dir_.path() / "log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  test::TempDir dir_;
  std::filesystem::path middleware_;
};

TEST_F(RegMiddleTest, RegistersOnlyWhenTheServerManagerComesFromElsewhere) {
  std::string mw = middleware_.string();
  auto registered_here = MakeRuntime(mw + "/ZQSVRMGR.DLL", false);
  EXPECT_TRUE(DatasUpdate(*registered_here).RegMiddle(Variant("XSE")));
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(DatasUpdate(*registered_here).GetActiveXFilePath("ZQSvrMgr.ServerManager", false), "/srv/local.exe");
  EXPECT_EQ(DatasUpdate(*registered_here).GetActiveXFilePath("No.Such"), "");

  // Registered elsewhere and the commands not allowed: false, nothing run.
  auto elsewhere = MakeRuntime("/old/zqsvrmgr.dll", false);
  EXPECT_FALSE(DatasUpdate(*elsewhere).RegMiddle(Variant("XSE")));
  EXPECT_EQ(Log(), "");

  // Allowed: the first three run in order; regsvr32.exe cannot start here.
  auto allowed = MakeRuntime("/old/zqsvrmgr.dll", true);
  EXPECT_FALSE(DatasUpdate(*allowed).RegMiddle(Variant("XSE")));
  EXPECT_EQ(Log(), mw + "/Pakrun.exe AddOnePackage-zqsvrmgr\n" + mw + "/Pakrun.exe AddOnePackage-oxasystem\n" + mw +
                       "/Halvex.exe /regserver\n");
  // Another edition reads another key: no middleware folder, no command.
  EXPECT_FALSE(DatasUpdate(*allowed).RegMiddle(Variant("XUE")));
}

}  // namespace
}  // namespace lxm

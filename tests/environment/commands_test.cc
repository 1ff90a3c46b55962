// Commands on the server: only allowed command lines run, without a shell,
// within their time; the middleware's registration goes through them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/com_error.h"
#include "platform/log.h"
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

// Sets an environment variable and the working folder for one test, and
// puts both back.
class ScopedPathAndFolder {
 public:
  ScopedPathAndFolder(const std::string& path, const std::filesystem::path& folder)
      : old_folder_(std::filesystem::current_path()) {
    if (const char* old = std::getenv("PATH")) old_path_ = old;
    ::setenv("PATH", path.c_str(), 1);
    std::filesystem::current_path(folder);
  }
  ~ScopedPathAndFolder() {
    ::setenv("PATH", old_path_.c_str(), 1);
    std::filesystem::current_path(old_folder_);
  }

 private:
  std::string old_path_;
  std::filesystem::path old_folder_;
};

void WriteScript(const std::filesystem::path& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  ::chmod(path.c_str(), 0755);
}

TEST(ExecCmdTest, RunsOnlyAllowedCommandLinesAndReportsTheirFailure) {
  test::TempDir dir;
  std::filesystem::path marker = dir.path() / "ran";
  // A folder on the PATH, and a working folder holding a program of its own.
  std::filesystem::path bin = dir.path() / "bin";
  std::filesystem::path work = dir.path() / "work";
  std::filesystem::create_directories(bin);
  std::filesystem::create_directories(work);
  WriteScript(bin / "tool", "/usr/bin/touch " + (dir.path() / "tool-ran").string());
  WriteScript(work / "local", "/usr/bin/touch " + (dir.path() / "local-ran").string());
  ScopedPathAndFolder environment("relative:.::" + bin.string(), work);

  RuntimeOptions options;
  options.commands.allowed = {{"/bin/true", ""},
                              {"/bin/false", ""},
                              {"/bin/sleep", "[0-9]+"},
                              {"/usr/bin/touch", "/tmp/[^ ]*|.*\\.txt"},
                              {(bin / "tool").string(), ""},
                              {(work / "local").string(), ""},
                              {"local", ""}};
  options.commands.timeout_seconds = 1;
  Runtime runtime(options);
  DatasUpdate update(runtime);
  struct Case {
    std::string command;
    int32_t error;  // 0: runs and succeeds
  };
  const std::string nul(1, '\0');
  const Case cases[] = {
      {"/bin/true", 0},
      {"/bin/false", errors::kInvalidCall},                     // exit status 1
      {"/bin/true extra", errors::kPermissionDenied},           // arguments not allowed
      {"true", errors::kPermissionDenied},                      // resolves to no allowed program
      {"/bin/sh -c true", errors::kPermissionDenied},
      {"/usr/bin/touch " + marker.string() + "; /bin/true", errors::kPermissionDenied},
      {"/bin/sleep 5", errors::kInvalidCall},                   // stopped at the time limit
      {"", errors::kPermissionDenied},
      // Matching recurses once per character: a huge argument is refused
      // before it can overflow the stack.
      {"/bin/sleep " + std::string(2000000, '1'), errors::kPermissionDenied},
      // Control characters are refused before any pattern sees them: the
      // program would receive the words cut at the NUL or split at a break.
      {"/usr/bin/touch " + marker.string() + nul + ".txt", errors::kPermissionDenied},
      {"/usr/bin/touch " + marker.string() + "\n.txt", errors::kPermissionDenied},
      {"/bin/true\r", errors::kPermissionDenied},
      {"/bin/true\t", errors::kPermissionDenied},
      {"/bin/sleep 1\x1b", errors::kPermissionDenied},
      // A bare name is found on the PATH; the allow-list sees where.
      {"tool", 0},
      // The working folder is never searched, not even through "." or an
      // empty PATH entry, and a relative path names nothing.
      {"local", errors::kPermissionDenied},
      {"./local", errors::kPermissionDenied},
      {"work/local", errors::kPermissionDenied},
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
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "tool-ran"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "local-ran"));
  // Nothing is allowed by default.
  Runtime closed;
  std::string cmdline = "/bin/true";
  EXPECT_EQ(test::ErrorNumberOf([&] { DatasUpdate(closed).ExecCmd(cmdline); }), errors::kPermissionDenied);
}

// True while the process runs (a zombie has ended).
bool IsRunning(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text(std::istreambuf_iterator<char>(stat), {});
  size_t state = text.rfind(')');
  return state != std::string::npos && state + 2 < text.size() && text[state + 2] != 'Z';
}

pid_t PidIn(const std::filesystem::path& file) {
  std::ifstream in(file);
  pid_t pid = 0;
  in >> pid;
  return pid;
}

// A program ends the call when it exits, whatever it leaves behind; at the
// time limit what it started goes with it; it holds none of the server's
// descriptors.
TEST(ExecCmdTest, ProgramsRunInTheirOwnGroupWithOnlyTheStandardDescriptors) {
  test::TempDir dir;
  const std::filesystem::path quick = dir.path() / "quick.sh";
  const std::filesystem::path slow = dir.path() / "slow.sh";
  const std::filesystem::path probe = dir.path() / "probe.sh";
  WriteScript(quick, "/bin/sleep 30 &\necho $! > " + (dir.path() / "quick.pid").string() + "\nexit 0");
  WriteScript(slow, "/bin/sleep 30 &\necho $! > " + (dir.path() / "slow.pid").string() + "\n/bin/sleep 30");
  WriteScript(probe, "[ -e /proc/$$/fd/$1 ] && echo inherited > " + (dir.path() / "inherited").string() +
                         "\n[ -e /proc/$$/fd/0 ] && [ -e /proc/$$/fd/2 ] && echo standard > " +
                         (dir.path() / "standard").string());
  RuntimeOptions options;
  options.commands.allowed = {{quick.string(), ""}, {slow.string(), ""}, {probe.string(), "[0-9]+"}};
  options.commands.timeout_seconds = 2;
  Runtime runtime(options);
  DatasUpdate update(runtime);

  std::string command = quick.string();
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(test::ErrorOf([&] { update.ExecCmd(command); }).has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));
  pid_t left_behind = PidIn(dir.path() / "quick.pid");
  ASSERT_GT(left_behind, 0);
  EXPECT_TRUE(IsRunning(left_behind));  // not waited for, not killed
  ::kill(left_behind, SIGKILL);

  command = slow.string();
  EXPECT_EQ(test::ErrorNumberOf([&] { update.ExecCmd(command); }), errors::kInvalidCall);
  pid_t descendant = PidIn(dir.path() / "slow.pid");
  ASSERT_GT(descendant, 0);
  for (int i = 0; i < 100 && IsRunning(descendant); ++i) ::usleep(10000);
  EXPECT_FALSE(IsRunning(descendant)) << "the time limit killed only the direct child";

  // A descriptor the server holds open without close-on-exec.
  int held = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(held, 3);
  command = probe.string() + " " + std::to_string(held);
  EXPECT_FALSE(test::ErrorOf([&] { update.ExecCmd(command); }).has_value());
  ::close(held);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "inherited"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "standard"));
}

TEST(LogTest, ControlCharactersAreEscapedSoALineStaysOneLine) {
  constexpr char kLine[] = "a\nb\rc\td\0e\x1b\x7f 凭证";
  EXPECT_EQ(EscapeControlCharacters(std::string(kLine, sizeof(kLine) - 1)),
            "a\\nb\\rc\\td\\x00e\\x1B\\x7F 凭证");
}

class RegMiddleTest : public ::testing::Test {
 protected:
  // A middleware folder whose programs leave a note of their arguments.
  void SetUp() override {
    middleware_ = dir_.path() / "mw";
    std::filesystem::create_directories(middleware_);
    // The system's registration tool, found on the PATH as a shell finds it.
    system_ = dir_.path() / "system";
    std::filesystem::create_directories(system_);
    for (const std::filesystem::path& path :
         {middleware_ / "Pakrun.exe", middleware_ / "Halvex.exe", system_ / "regsvr32.exe"}) {
      WriteScript(path, "echo \"$0 $*\" >> " + (dir_.path() / "log").string());
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
                                  {(system_ / "regsvr32.exe").string(), "/s .*/LXMUsrMgr\\.dll"}};
    }
    return std::make_unique<Runtime>(options);
  }

  std::string Log() {
    std::ifstream in(dir_.path() / "log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  test::TempDir dir_;
  std::filesystem::path middleware_;
  std::filesystem::path system_;
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

  // Allowed: the four run in order, the bare regsvr32.exe from the PATH.
  ScopedPathAndFolder environment(system_.string(), dir_.path());
  auto allowed = MakeRuntime("/old/zqsvrmgr.dll", true);
  EXPECT_TRUE(DatasUpdate(*allowed).RegMiddle(Variant("XSE")));
  EXPECT_EQ(Log(), mw + "/Pakrun.exe AddOnePackage-zqsvrmgr\n" + mw + "/Pakrun.exe AddOnePackage-oxasystem\n" + mw +
                       "/Halvex.exe /regserver\n" + system_.string() + "/regsvr32.exe /s " + mw + "/LXMUsrMgr.dll\n");
  // Another edition reads another key: no middleware folder, no command.
  EXPECT_FALSE(DatasUpdate(*allowed).RegMiddle(Variant("XUE")));
}

}  // namespace
}  // namespace lxm

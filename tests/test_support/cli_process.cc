#include "test_support/cli_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace lxm::test {

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Starts the program with stdout and stderr into `log_path`.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& log_path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> pointers;
  for (const std::string& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
  pointers.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

std::string LogPath() {
  static int counter = 0;
  return (std::filesystem::temp_directory_path() /
          ("lxm_cli_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".log"))
      .string();
}

// The exit code, or -1 when it had to be killed at the deadline.
int WaitFor(pid_t pid, std::chrono::steady_clock::time_point deadline) {
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, int timeout_seconds,
                 const std::vector<std::string>& prefix) {
  std::vector<std::string> argv = prefix;
  argv.push_back(LXM_CLI_PATH);
  argv.insert(argv.end(), args.begin(), args.end());
  std::string log = LogPath();
  CliResult result;
  pid_t pid = Spawn(argv, log);
  if (pid < 0) return result;
  result.exit_code =
      WaitFor(pid, std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds));
  result.output = ReadAll(log);
  std::filesystem::remove(log);
  return result;
}

ServeProcess::ServeProcess(const std::vector<std::string>& args) : log_path_(LogPath()) {
  std::vector<std::string> argv = {LXM_CLI_PATH, "serve", "--port", "0"};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_ = Spawn(argv, log_path_);
  if (pid_ < 0) return;
  const std::string kBanner = "LXMDataFlow serving ";
  for (int i = 0; i < 300 && url_.empty(); ++i) {
    output_ = ReadAll(log_path_);
    size_t at = output_.find(kBanner);
    if (at != std::string::npos) {
      size_t end = output_.find(' ', at + kBanner.size());
      url_ = output_.substr(at + kBanner.size(), end - at - kBanner.size());
      break;
    }
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

ServeProcess::~ServeProcess() {
  Stop();
  std::filesystem::remove(log_path_);
}

int ServeProcess::port() const {
  size_t colon = url_.rfind(':');
  return colon == std::string::npos ? 0 : std::atoi(url_.c_str() + colon + 1);
}

void ServeProcess::Signal(int signal_number) {
  if (pid_ > 0) ::kill(pid_, signal_number);
}

int ServeProcess::Stop() {
  if (pid_ < 0) return -1;
  ::kill(pid_, SIGTERM);
  int code = WaitFor(pid_, std::chrono::steady_clock::now() + std::chrono::seconds(15));
  pid_ = -1;
  output_ = ReadAll(log_path_);
  return code;
}

void ServeProcess::Kill() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGKILL);
  WaitFor(pid_, std::chrono::steady_clock::now() + std::chrono::seconds(15));
  pid_ = -1;
  output_ = ReadAll(log_path_);
}

}  // namespace lxm::test

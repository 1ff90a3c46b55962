#include "platform/command_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <regex>

#include "platform/com_error.h"
#include "platform/log.h"

extern char** environ;

namespace lxm {

namespace {

// std::regex matches by recursion, a level per character: longer arguments
// could overflow the stack, and no allowed command line needs them.
constexpr size_t kMaxMatchedArguments = 4096;

bool IsAllowed(const CommandSettings& settings, const std::vector<std::string>& words) {
  std::string arguments;
  for (size_t i = 1; i < words.size(); ++i) arguments += (i > 1 ? " " : "") + words[i];
  if (arguments.size() > kMaxMatchedArguments) return false;
  for (const AllowedCommand& allowed : settings.allowed) {
    if (allowed.program != words[0]) continue;
    try {
      if (std::regex_match(arguments, std::regex(allowed.arguments))) return true;
    } catch (const std::regex_error&) {
      // A pattern that does not compile allows nothing.
    }
  }
  return false;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  bool quoted = false;
  for (char c : command_line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word.push_back(c);
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

namespace {

// A line break or a NUL would cut or split the words the program receives
// after the patterns have seen them whole.
bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
  }
  return false;
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Waits until the program itself ends, reading and discarding its output so
// that it never blocks on a full pipe. What it leaves running in the
// background may hold the pipe open; it is not waited for. At the deadline
// the program's whole process group is killed.
struct Ending {
  int status = 0;
  bool timed_out = false;
};

Ending WaitForProgram(pid_t pid, int output, std::chrono::steady_clock::time_point deadline, size_t* output_bytes) {
  // A descriptor that becomes readable when the process ends; without one
  // (kernels before 5.3) the wait looks every 10 ms.
  int ended_fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (ended_fd >= 0) ::fcntl(ended_fd, F_SETFD, FD_CLOEXEC);
  Ending ending;
  char buffer[4096];
  while (true) {
    pid_t ended = ::waitpid(pid, &ending.status, WNOHANG);
    if (ended == pid || (ended < 0 && errno != EINTR)) break;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ending.timed_out = true;
      break;
    }
    pollfd fds[2];
    nfds_t count = 0;
    if (output >= 0) fds[count++] = {output, POLLIN, 0};
    if (ended_fd >= 0) fds[count++] = {ended_fd, POLLIN, 0};
    int wait_ms = static_cast<int>(ended_fd >= 0 ? left.count() : std::min<int64_t>(left.count(), 10));
    if (count == 0) {
      ::usleep(static_cast<useconds_t>(wait_ms) * 1000);
      continue;
    }
    if (::poll(fds, count, wait_ms) <= 0) continue;
    if (output >= 0 && fds[0].revents != 0) {
      ssize_t got = ::read(output, buffer, sizeof(buffer));
      if (got > 0) {
        *output_bytes += static_cast<size_t>(got);
      } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        output = -1;  // closed: from now on only the process is watched
      }
    }
  }
  if (ending.timed_out) {
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, &ending.status, 0) < 0 && errno == EINTR) {
    }
  }
  if (ended_fd >= 0) ::close(ended_fd);
  return ending;
}

}  // namespace

std::string ResolveProgram(std::string_view program, std::string_view search_path) {
  if (program.empty()) return "";
  if (program.find('/') != std::string_view::npos) return program[0] == '/' ? std::string(program) : "";
  while (true) {
    size_t end = search_path.find(':');
    std::string_view folder = search_path.substr(0, end);
    if (!folder.empty() && folder[0] == '/') {
      std::string candidate = std::string(folder) + (folder.back() == '/' ? "" : "/") + std::string(program);
      if (IsExecutableFile(candidate)) return candidate;
    }
    if (end == std::string_view::npos) return "";
    search_path.remove_prefix(end + 1);
  }
}

CommandOutcome RunAllowedCommand(const CommandSettings& settings, std::string_view command_line) {
  if (HasControlCharacter(command_line)) {
    LogLine("refused to run \"" + std::string(command_line.substr(0, 200)) + "\": it holds a control character");
    throw ComError(errors::kPermissionDenied, std::string(kRuntimeErrorSource),
                   "Permission denied: this server runs no command line that holds a control character.");
  }
  std::vector<std::string> words = SplitCommandLine(command_line);
  if (!words.empty()) {
    const char* path = std::getenv("PATH");
    std::string resolved = ResolveProgram(words[0], path != nullptr ? path : "");
    if (!resolved.empty()) words[0] = std::move(resolved);
  }
  if (words.empty() || words[0].empty() || words[0][0] != '/' || !IsAllowed(settings, words)) {
    std::string program = words.empty() ? std::string() : words[0];
    LogLine("refused to run \"" + program + "\": not an allowed command line");
    throw ComError(errors::kPermissionDenied, std::string(kRuntimeErrorSource),
                   "Permission denied: this server does not run \"" + program + "\" with these arguments.");
  }
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw RuntimeError(errors::kOutOfMemory);
  // Standard input from /dev/null, output and error into the pipe, and no
  // other descriptor of the server: not its sockets, not its databases.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  // A process group of its own, so that a time-out ends what it started
  // too; signals as a freshly started program has them.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int spawned = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    ::close(pipe_fds[0]);
    LogLine("could not start \"" + words[0] + "\"");
    throw ComError(errors::kFileNotFound, std::string(kRuntimeErrorSource),
                   "File not found: \"" + words[0] + "\" could not be started.");
  }

  CommandOutcome outcome;
  Ending ending = WaitForProgram(pid, pipe_fds[0], std::chrono::steady_clock::now() +
                                                       std::chrono::seconds(settings.timeout_seconds),
                                 &outcome.output_bytes);
  ::close(pipe_fds[0]);
  int status = ending.status;
  outcome.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  LogLine("ran \"" + words[0] + "\": exit status " + std::to_string(outcome.exit_status) + ", " +
          std::to_string(outcome.output_bytes) + " bytes of output" +
          (ending.timed_out ? ", stopped at the time limit" : ""));
  if (ending.timed_out) {
    throw ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource),
                   "\"" + words[0] + "\" did not end within " + std::to_string(settings.timeout_seconds) +
                       " s and was stopped.");
  }
  if (outcome.exit_status != 0) {
    throw ComError(errors::kInvalidCall, std::string(kRuntimeErrorSource),
                   "\"" + words[0] + "\" ended with exit status " + std::to_string(outcome.exit_status) + ".");
  }
  return outcome;
}

}  // namespace lxm

#include "platform/command_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

CommandOutcome RunAllowedCommand(const CommandSettings& settings, std::string_view command_line) {
  std::vector<std::string> words = SplitCommandLine(command_line);
  if (words.empty() || !IsAllowed(settings, words)) {
    std::string program = words.empty() ? std::string() : words[0];
    LogLine("refused to run \"" + program + "\": not an allowed command line");
    throw ComError(errors::kPermissionDenied, std::string(kRuntimeErrorSource),
                   "Permission denied: this server does not run \"" + program + "\" with these arguments.");
  }
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw RuntimeError(errors::kOutOfMemory);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    ::close(pipe_fds[0]);
    LogLine("could not start \"" + words[0] + "\"");
    throw ComError(errors::kFileNotFound, std::string(kRuntimeErrorSource),
                   "File not found: \"" + words[0] + "\" could not be started.");
  }

  // Drain the output (so the program never blocks on a full pipe) until it
  // closes or the time runs out.
  CommandOutcome outcome;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(settings.timeout_seconds);
  bool timed_out = false;
  char buffer[4096];
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd poll_fd{pipe_fds[0], POLLIN, 0};
    int ready = ::poll(&poll_fd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) continue;
    ssize_t got = ::read(pipe_fds[0], buffer, sizeof(buffer));
    if (got <= 0) break;
    outcome.output_bytes += static_cast<size_t>(got);
  }
  ::close(pipe_fds[0]);
  // The program may close its output and go on running: wait within the
  // same time limit.
  int status = 0;
  while (!timed_out) {
    pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == pid || (ended < 0 && errno != EINTR)) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      timed_out = true;
      break;
    }
    ::usleep(5000);
  }
  if (timed_out) {
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  outcome.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  LogLine("ran \"" + words[0] + "\": exit status " + std::to_string(outcome.exit_status) + ", " +
      std::to_string(outcome.output_bytes) + " bytes of output" + (timed_out ? ", stopped at the time limit" : ""));
  if (timed_out) {
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

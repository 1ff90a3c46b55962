// Running programs on the server, for the few operations that must (the
// middleware's registration). Only command lines the configuration allows
// run: the program by its exact path, the arguments matching a pattern. They
// start through posix_spawn with an argument vector, never a shell, and must
// end within a time limit.
//
// Thread-safety: safe from any thread; each call waits for its own program.
#ifndef LXM_PLATFORM_COMMAND_RUNNER_H_
#define LXM_PLATFORM_COMMAND_RUNNER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lxm {

struct AllowedCommand {
  std::string program;    // exact path, compared as written
  std::string arguments;  // ECMAScript pattern the arguments, joined by one blank, must match whole
};

struct CommandSettings {
  std::vector<AllowedCommand> allowed;  // none: nothing runs
  int timeout_seconds = 60;
};

// The words of a command line: blanks separate them, double quotes group
// blanks into a word (the quotes themselves are dropped). Nothing else has a
// meaning: no variables, no redirections, no globbing.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

struct CommandOutcome {
  int exit_status = 0;
  size_t output_bytes = 0;  // standard output and error together, discarded
};

// Runs the command line when `settings` allow it and returns how it ended
// (also logged). Raises errors::kPermissionDenied naming the program when it
// is not allowed, errors::kFileNotFound when it cannot be started, and
// errors::kInvalidCall when it outlives the time limit (it is then killed) or
// ends with a non-zero status.
CommandOutcome RunAllowedCommand(const CommandSettings& settings, std::string_view command_line);

}  // namespace lxm

#endif  // LXM_PLATFORM_COMMAND_RUNNER_H_

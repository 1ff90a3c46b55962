// Running programs on the server, for the few operations that must (the
// middleware's registration). Only command lines the configuration allows
// run: the program by its resolved absolute path, the arguments matching a
// pattern. They start through posix_spawn with an argument vector, never a
// shell, in a process group of their own, with standard input from
// /dev/null, output and error into a pipe that is read and discarded, and no
// other descriptor of the server; they must end within a time limit.
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
  std::string program;    // absolute path, compared with the resolved program
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

// The program a command line's first word names: itself when it is an
// absolute path; a bare name found as a shell finds it, in the first folder
// of `search_path` (PATH's form) that holds an executable file of that name,
// skipping folders that are not absolute (the working folder is never
// searched). Empty when there is none, and for a relative path.
std::string ResolveProgram(std::string_view program, std::string_view search_path);

struct CommandOutcome {
  int exit_status = 0;
  size_t output_bytes = 0;  // standard output and error together, discarded
};

// Runs the command line when `settings` allow it and returns how it ended
// (also logged). The call ends when the program itself exits (what it left
// running in the background is not waited for) or at the time limit, when
// its whole process group is killed. Raises errors::kPermissionDenied for a
// command line that holds a control character (before any pattern is
// matched) and, naming the program, for one that is not allowed;
// errors::kFileNotFound when it cannot be started, and errors::kInvalidCall
// when it outlives the time limit or ends with a non-zero status. The
// program is resolved against the server's PATH (ResolveProgram).
CommandOutcome RunAllowedCommand(const CommandSettings& settings, std::string_view command_line);

}  // namespace lxm

#endif  // LXM_PLATFORM_COMMAND_RUNNER_H_

// Running the built command-line program from tests: one command to its end,
// or `serve` in the background for as long as a test needs a live server in
// another process.
#ifndef LXM_TESTS_TEST_SUPPORT_CLI_PROCESS_H_
#define LXM_TESTS_TEST_SUPPORT_CLI_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace lxm::test {

struct CliResult {
  int exit_code = -1;  // -1: killed at the time limit
  std::string output;  // stdout and stderr together
};

// Runs `lxmdataflow ARGS...` (after `prefix`, e.g. a command that changes
// the user), killing it after `timeout_seconds`.
CliResult RunCli(const std::vector<std::string>& args, int timeout_seconds = 30,
                 const std::vector<std::string>& prefix = {});

// `lxmdataflow serve --port 0 ARGS...`, stopped with SIGTERM on
// destruction.
class ServeProcess {
 public:
  explicit ServeProcess(const std::vector<std::string>& args);
  ~ServeProcess();
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  // "http://127.0.0.1:PORT" (https when it serves TLS), or empty when the
  // server did not start.
  const std::string& url() const { return url_; }
  int port() const;
  const std::string& output() const { return output_; }
  // Sends `signal_number` (SIGHUP, say) and goes on.
  void Signal(int signal_number);
  // SIGTERM and wait; the exit code.
  int Stop();
  // SIGKILL and wait, as a crash or the OOM killer ends it.
  void Kill();

 private:
  pid_t pid_ = -1;
  std::string log_path_;
  std::string url_;
  std::string output_;
};

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_CLI_PROCESS_H_

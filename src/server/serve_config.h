// The configuration file of `lxmdataflow serve` (TOML).
//
// The file may set every flag of `serve` (the flag's name without its dashes,
// "-" written "_": `max_body = 1048576`, `db = ["a.db"]`) and carries what
// only a file can: the registry file, the installation, the command lines
// ExecCmd may run and the refresh components served over HTTP:
//
//   registry = "registry.json"
//   [installation]
//   root = "/opt/velmora/R8STANDARD"
//   [[commands.allowed]]
//   program = "/usr/bin/true"
//   arguments = ""
//   [[refresh_callout]]
//   prog_id = "Acme.Refresh"
//   url = "http://127.0.0.1:9000/refresh"
//   [[access_token]]
//   sha256 = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"
//   user_id = 16394
//   role = "user"
//
// data/lxmdataflow.example.toml (shown in the README) sets every key.
// Relative paths are taken from the file's own folder; connect strings and
// the allowed programs are kept as written. Whatever the reader cannot use
// exactly as written (a TOML syntax error, an unknown key at any level, a
// value of the wrong type or out of range, a bad URL, a ProgID named twice,
// a token digest that is not 64 hex digits or is given twice, a role unknown)
// is refused with a ServeConfigError naming the file, the line and the key,
// so that a server never starts on settings it only half understood.
//
// Thread-safety: the functions keep no state; safe from any thread.
#ifndef LXM_SERVER_SERVE_CONFIG_H_
#define LXM_SERVER_SERVE_CONFIG_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_runner.h"
#include "platform/refresh_component.h"
#include "platform/runtime.h"
#include "server/access_token.h"

namespace lxm::server {

// The bounds of a numeric setting; the flags and the file check the same.
struct IntRange {
  int64_t min;
  int64_t max;
};

inline constexpr IntRange kPortRange{0, 65535};
inline constexpr IntRange kMaxBodyRange{1, int64_t{1} << 30};
inline constexpr IntRange kWorkersRange{1, 1024};
inline constexpr IntRange kMaxCallsPerUserRange{0, 1024};
inline constexpr IntRange kMaxBufferedMbRange{1, 65536};
inline constexpr IntRange kIoThreadsRange{1, 64};
inline constexpr IntRange kKeepAliveRange{1, 3600};
inline constexpr IntRange kRequestTimeoutRange{1, 3600};
inline constexpr IntRange kMaxConnectionsRange{1, 100000};
inline constexpr IntRange kLockWaitRange{0, 3600};
inline constexpr IntRange kLockWaitersRange{1, 1024};
inline constexpr IntRange kExampleUserRange{INT32_MIN, INT32_MAX};
inline constexpr IntRange kUserIdRange{INT32_MIN, INT32_MAX};
inline constexpr IntRange kCacheMbRange{1, 65536};
inline constexpr IntRange kWalBoundMbRange{1, 65536};
inline constexpr IntRange kWalBoundWaitMsRange{0, 60000};

// What one configuration file says. A flag's setting is empty when the file
// leaves it out, so that the flag's default or the command line decides.
struct ServeConfig {
  std::optional<std::vector<std::string>> db_paths;         // "db", absolute
  std::optional<std::vector<std::string>> connect_strings;  // "connect"
  std::optional<std::string> bind;
  std::optional<int> port;
  std::optional<bool> enable_exec;
  std::optional<bool> allow_anonymous;  // serve another than a loopback address without a token
  std::optional<std::vector<std::string>> allowed_origins;  // sites whose pages may call
  std::optional<std::vector<std::string>> server_names;     // names the server is reached by
  std::optional<std::string> token_file;  // "token", absolute
  std::optional<std::string> tls_cert;    // absolute
  std::optional<std::string> tls_key;     // absolute
  std::optional<size_t> max_body;
  std::optional<int> workers;
  std::optional<int> max_calls_per_user;
  std::optional<size_t> max_buffered_mb;
  std::optional<int> io_threads;
  std::optional<int> keep_alive;
  std::optional<int> request_timeout;
  std::optional<int> max_connections;
  std::optional<int> lock_wait;
  std::optional<int> lock_waiters;
  std::optional<int> example_user;
  std::optional<size_t> cache_mb;
  std::optional<int> wal_bound_mb;
  std::optional<int> wal_bound_wait_ms;
  std::optional<bool> fast_commits;

  // "registry": the JSON registry file, absolute; empty when not given.
  std::string registry_file;
  // "[installation]"; executable_path is never set from the file.
  InstallationSettings installation;
  // "[commands]": timeout_seconds and the [[commands.allowed]] entries.
  CommandSettings commands;
  // "[[refresh_callout]]", in file order; ProgIDs differ (letter case aside).
  std::vector<RefreshCalloutSettings> refresh_callouts;
  // "[[access_token]]", in file order; digests differ (access_token.h).
  std::vector<AccessGrant> access_tokens;
};

// A configuration the reader refuses. what() is "FILE:LINE: DETAIL" ("FILE:
// DETAIL" when no line applies), e.g.
//   /etc/lxm.toml:12: key "installation.rooot" is not known
class ServeConfigError : public std::runtime_error {
 public:
  ServeConfigError(const std::string& file, int line, std::string key, const std::string& detail);

  // 1-based; 0 when the whole file is at fault (it cannot be read).
  int line() const { return line_; }
  // The dotted key at fault ("installation.root", "refresh_callout.url");
  // empty for a syntax error or an unreadable file.
  const std::string& key() const { return key_; }

 private:
  int line_;
  std::string key_;
};

// Reads the configuration in `text`; `file_name` names it in errors, and its
// folder is where relative paths start. Raises ServeConfigError.
ServeConfig ParseServeConfig(std::string_view text, const std::string& file_name);

// ParseServeConfig() of the file at `path`; a file that cannot be read
// raises ServeConfigError too.
ServeConfig LoadServeConfig(const std::string& path);

}  // namespace lxm::server

#endif  // LXM_SERVER_SERVE_CONFIG_H_

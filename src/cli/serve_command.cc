#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <boost/asio/ip/address.hpp>

#include "cli/commands.h"
#include "platform/db/connect_string.h"
#include "platform/db/redacted_connect_string.h"
#include "platform/runtime.h"
#include "platform/log.h"
#include "platform/text_util.h"
#include "server/database_allowlist.h"
#include "server/http_server.h"
#include "server/json_codec.h"
#include "server/serve_config.h"
#include "server/type_library.h"
#include "tree/account_setup.h"
#include "tree/postgres_account.h"

namespace lxm::cli {

namespace {

struct ServeOptions {
  std::vector<std::string> db_paths;
  std::vector<std::string> connect_strings;
  std::string bind = "127.0.0.1";
  int port = 8765;
  bool enable_exec = false;
  bool allow_anonymous = false;
  std::vector<std::string> allowed_origins;
  std::vector<std::string> server_names;
  std::string token_file;
  std::string tls_cert;
  std::string tls_key;
  size_t max_body = size_t{16} << 20;
  int workers = 8;
  int max_calls_per_user = 0;  // 0: a quarter of the workers
  size_t max_buffered_mb = 512;
  int io_threads = 2;
  int keep_alive = 5;
  int request_timeout = 10;
  int max_connections = 512;
  int lock_wait = 10;
  int lock_waiters = 2;
  int wal_bound_mb = 16;
  int wal_bound_wait_ms = 200;
  bool fast_commits = false;
  int example_user = 0;
  size_t cache_mb = CacheStore::kDefaultMaxBytes >> 20;
  std::string config_file;
  std::string registry_file;
  std::vector<server::AccessGrant> access_tokens;  // the file's [[access_token]]
};

// True for an address only this machine reaches.
bool IsLoopbackAddress(const std::string& address) {
  boost::system::error_code error;
  boost::asio::ip::address parsed = boost::asio::ip::make_address(address, error);
  if (error) return EqualsIgnoreCase(address, "localhost");
  if (parsed.is_v6() && parsed.to_v6().is_v4_mapped()) {
    return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, parsed.to_v6()).is_loopback();
  }
  return parsed.is_loopback();
}

// A secret's file should be its owner's alone.
void WarnIfOthersRead(const std::string& path, std::string_view what) {
  struct stat info {};
  if (!path.empty() && ::stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    std::cerr << "warning: the " << what << " file " << path << " is readable by other users (chmod 600 "
              << path << ")\n";
  }
}

std::string ReadToken(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("Cannot read the token file " + path + ".");
  WarnIfOthersRead(path, "token");
  std::stringstream text;
  text << in.rdbuf();
  std::string token = text.str();
  constexpr std::string_view kBlanks = " \t\r\n";
  size_t first = token.find_first_not_of(kBlanks);
  size_t last = token.find_last_not_of(kBlanks);
  token = first == std::string::npos ? std::string() : token.substr(first, last - first + 1);
  if (token.empty() || token.find_first_of(kBlanks) != std::string::npos) {
    throw std::runtime_error("The token file " + path + " must hold one token on one line.");
  }
  return token;
}

// Text between single quotes for a POSIX shell.
std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string SelfPath() {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("lxmdataflow") : path.string();
}

CLI::Range RangeOf(server::IntRange range) { return CLI::Range(range.min, range.max); }

void PrintExamples(const ServeOptions& options, const std::string& url,
                   const std::string& connect_string, const std::string& db_path) {
  // Never the password: the example shows "***" in its place.
  std::string descriptor = "ConnectString={" + RedactedConnectString(ParseConnectString(connect_string)) +
                           "};UserID=" + std::to_string(options.example_user) + ";LANGUAGE=en";
  std::string body = R"({"args": [)";
  server::AppendJsonString(descriptor, &body);
  body += "]}";
  std::string auth;
  std::string token_file;
  if (!options.token_file.empty()) {
    token_file = ShellQuote(std::filesystem::absolute(options.token_file).string());
    auth = " -H \"Authorization: Bearer $(cat " + token_file + ")\"";
  }
  // A certificate of the site's own is trusted by naming it.
  std::string trust =
      options.tls_cert.empty() ? std::string() : " --cacert " + ShellQuote(std::filesystem::absolute(options.tls_cert).string());
  std::cout << "Try:\n  curl -s -H 'Content-Type: application/json'" << trust << auth << " " << url
            << "/rpc/LXMDataFlow.clsDataInfo/GetUserTemplateVer -d " << ShellQuote(body) << "\n  "
            << ShellQuote(SelfPath()) << " call --server " << url;
  if (!token_file.empty()) std::cout << " --token " << token_file;
  if (!options.tls_cert.empty()) std::cout << " --ca " << ShellQuote(std::filesystem::absolute(options.tls_cert).string());
  if (!db_path.empty()) {
    std::cout << " --db " << ShellQuote(db_path) << " --user " << options.example_user
              << " --lang en";
  } else {
    std::cout << " --dsn " << ShellQuote(descriptor);
  }
  std::cout << " LXMDataFlow.DatasInfo GetSubSystem 0\n";
}

// A setting of the configuration file counts unless its flag was given.
template <typename T, typename Target>
void TakeUnlessFlagGiven(const CLI::App& command, const char* flag, const std::optional<T>& from_file,
                         Target& target) {
  if (from_file.has_value() && command.get_option(flag)->count() == 0) target = *from_file;
}

// The flags with the configuration file's settings under them, and the
// runtime's options from both.
void MergeConfig(const CLI::App& command, ServeOptions& options, RuntimeOptions& runtime_options) {
  std::string registry_file = options.registry_file;
  if (!options.config_file.empty()) {
    server::ServeConfig config = server::LoadServeConfig(options.config_file);
    TakeUnlessFlagGiven(command, "--db", config.db_paths, options.db_paths);
    TakeUnlessFlagGiven(command, "--connect", config.connect_strings, options.connect_strings);
    TakeUnlessFlagGiven(command, "--bind", config.bind, options.bind);
    TakeUnlessFlagGiven(command, "--port", config.port, options.port);
    TakeUnlessFlagGiven(command, "--enable-exec", config.enable_exec, options.enable_exec);
    TakeUnlessFlagGiven(command, "--allow-anonymous", config.allow_anonymous, options.allow_anonymous);
    TakeUnlessFlagGiven(command, "--allowed-origin", config.allowed_origins, options.allowed_origins);
    TakeUnlessFlagGiven(command, "--server-name", config.server_names, options.server_names);
    TakeUnlessFlagGiven(command, "--token", config.token_file, options.token_file);
    TakeUnlessFlagGiven(command, "--tls-cert", config.tls_cert, options.tls_cert);
    TakeUnlessFlagGiven(command, "--tls-key", config.tls_key, options.tls_key);
    TakeUnlessFlagGiven(command, "--max-body", config.max_body, options.max_body);
    TakeUnlessFlagGiven(command, "--workers", config.workers, options.workers);
    TakeUnlessFlagGiven(command, "--max-calls-per-user", config.max_calls_per_user, options.max_calls_per_user);
    TakeUnlessFlagGiven(command, "--max-buffered-mb", config.max_buffered_mb, options.max_buffered_mb);
    TakeUnlessFlagGiven(command, "--io-threads", config.io_threads, options.io_threads);
    TakeUnlessFlagGiven(command, "--keep-alive", config.keep_alive, options.keep_alive);
    TakeUnlessFlagGiven(command, "--request-timeout", config.request_timeout, options.request_timeout);
    TakeUnlessFlagGiven(command, "--max-connections", config.max_connections, options.max_connections);
    TakeUnlessFlagGiven(command, "--lock-wait", config.lock_wait, options.lock_wait);
    TakeUnlessFlagGiven(command, "--lock-waiters", config.lock_waiters, options.lock_waiters);
    TakeUnlessFlagGiven(command, "--example-user", config.example_user, options.example_user);
    TakeUnlessFlagGiven(command, "--cache-mb", config.cache_mb, options.cache_mb);
    TakeUnlessFlagGiven(command, "--wal-bound-mb", config.wal_bound_mb, options.wal_bound_mb);
    TakeUnlessFlagGiven(command, "--wal-bound-wait-ms", config.wal_bound_wait_ms, options.wal_bound_wait_ms);
    TakeUnlessFlagGiven(command, "--fast-commits", config.fast_commits, options.fast_commits);
    if (registry_file.empty()) registry_file = config.registry_file;
    runtime_options.installation = config.installation;
    runtime_options.commands = config.commands;
    runtime_options.refresh_callouts = config.refresh_callouts;
    options.access_tokens = config.access_tokens;
  }
  options.registry_file = registry_file;
  if (!registry_file.empty()) runtime_options.registry = RegistryData::LoadFile(registry_file);
  runtime_options.cache_max_bytes = options.cache_mb << 20;
  // A file reply that finds the budget full waits as long as a writer
  // waits for the lock.
  runtime_options.installation.file_wait_ms = options.lock_wait * 1000;
}

// The server's chores, once a second:
// - Gives freed memory back to the system shortly after calls that loaded
//   from the database. glibc keeps what a worker frees in that worker's
//   arena, so the rows such a call loads and lets go (a level beyond the
//   cache's bound is loaded by every call) would stay resident in each
//   arena. The cache's misses tell that there was such a call; while every
//   call is served from the cache, the allocator is left alone.
// - Looks whether a database file was deleted or replaced, so that it is
//   logged and let go even while no call comes.
class Housekeeper {
 public:
  explicit Housekeeper(Runtime& runtime) : runtime_(runtime), thread_([this] { Run(); }) {}
  ~Housekeeper() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  Housekeeper(const Housekeeper&) = delete;
  Housekeeper& operator=(const Housekeeper&) = delete;

 private:
  static constexpr std::chrono::seconds kPeriod{1};

  void Run() {
    uint64_t misses_seen = runtime_.cache_store().stats().misses;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kPeriod, [this] { return stop_; })) {
      runtime_.databases().CheckFiles();
      uint64_t misses = runtime_.cache_store().stats().misses;
      if (misses == misses_seen) continue;
      misses_seen = misses;
#if defined(__GLIBC__)
      malloc_trim(0);
#endif
    }
  }

  Runtime& runtime_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;  // GUARDED_BY(mutex_)
  std::thread thread_;  // last: starts once the members above exist
};

void RunServe(const ServeOptions& options, const RuntimeOptions& runtime_options) {
  if (options.db_paths.empty() && options.connect_strings.empty()) {
    throw std::runtime_error("Name at least one database: --db PATH or --connect TEXT (or db or connect in "
                             "the --config file).");
  }
  // The process's runtime is made here, with these options, on first use.
  Runtime::SetDefaultOptions(runtime_options);
  Runtime& runtime = Runtime::Default();
  DatabaseSettings database_settings;
  database_settings.lock_wait_ms = options.lock_wait * 1000;
  database_settings.max_lock_waiters = options.lock_waiters;
  database_settings.wal_bound_bytes = int64_t{options.wal_bound_mb} << 20;
  database_settings.wal_bound_wait_ms = options.wal_bound_wait_ms;
  database_settings.durable_commits = !options.fast_commits;
  // A file put in the place of a served one is served only as an account
  // database of this version, and nothing kept of the old one is served:
  // the new file's stamps may repeat the old one's.
  database_settings.check_replacement = [&runtime](const std::string& path) {
    CheckAccountDatabase(path);
    runtime.cache_store().Clear();
  };
  runtime.databases().Configure(database_settings);
  server::HttpServerOptions server_options;
  server_options.bind_address = options.bind;
  server_options.port = options.port;
  server_options.dispatch.enable_exec = options.enable_exec;
  server_options.max_body_bytes = options.max_body;
  server_options.workers = options.workers;
  server_options.max_calls_per_user = options.max_calls_per_user;
  server_options.max_buffered_bytes = options.max_buffered_mb << 20;
  server_options.io_threads = options.io_threads;
  server_options.keep_alive_seconds = options.keep_alive;
  server_options.request_timeout_seconds = options.request_timeout;
  server_options.max_connections = options.max_connections;
  server_options.example_user = options.example_user;
  server_options.origins.allowed_origins = options.allowed_origins;
  server_options.origins.server_names = options.server_names;
  if (!options.token_file.empty()) server_options.token = ReadToken(options.token_file);
  if (options.tls_cert.empty() != options.tls_key.empty()) {
    throw std::runtime_error("HTTPS needs both --tls-cert and --tls-key (tls_cert and tls_key).");
  }
  server_options.tls_certificate_file = options.tls_cert;
  server_options.tls_key_file = options.tls_key;
  WarnIfOthersRead(options.tls_key, "TLS key");
  server_options.token_map = server::TokenMap(options.access_tokens);
  // As database servers refuse unauthenticated remote clients by default.
  if (server_options.token.empty() && options.access_tokens.empty() && !IsLoopbackAddress(options.bind) &&
      !options.allow_anonymous) {
    throw std::runtime_error("Serving " + options.bind +
                             " without a token would let anyone on the network call every method: give --token "
                             "or [[access_token]] tables, or --allow-anonymous (allow_anonymous = true) to do it "
                             "on purpose.");
  }

  // Each database is checked and opened now: a wrong file fails here, not
  // at the first call, and the pools are warm. The check reads only, so a
  // file that is no account database is left as it was.
  server::DatabaseAllowlist allowlist;
  std::vector<std::string> absolute_paths;
  for (const std::string& path : options.db_paths) {
    absolute_paths.push_back(std::filesystem::absolute(path).lexically_normal().string());
    CheckAccountDatabase(absolute_paths.back());
    std::string connect_string = SQLiteConnectString(absolute_paths.back());
    runtime.databases().Get(connect_string);
    allowlist.Add(connect_string);
  }
  for (const std::string& connect_string : options.connect_strings) {
    ConnectString parsed = ParseConnectString(connect_string);
    if (parsed.backend == Backend::kSQLite) {
      CheckAccountDatabase(parsed.data_source());
    } else {
      CheckPostgresAccount(runtime, connect_string);
    }
    runtime.databases().Get(connect_string);
    allowlist.Add(connect_string);
  }
  server_options.dispatch.databases = allowlist;

  // SIGINT and SIGTERM are taken by one watcher thread (every thread the
  // server starts inherits the blocked mask), which stops the server; Serve()
  // then returns once the calls in flight are answered. SIGHUP re-reads the
  // TLS certificate.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  server::HttpServer server(runtime, server::PublicTypeLibrary(), server_options);
  int port = server.Bind();
  std::string url = (options.tls_cert.empty() ? "http://" : "https://") + (options.bind.find(':') != std::string::npos
                                     ? "[" + options.bind + "]"
                                     : options.bind) +
                    ":" + std::to_string(port);
  std::cout << "LXMDataFlow serving " << url << " (" << options.workers << " workers, "
            << options.max_connections << " connections at most"
            << (options.enable_exec ? ", ExecCmd and RegMiddle enabled" : "")
            << (server_options.token.empty() ? "" : ", bearer token required")
            << (options.access_tokens.empty()
                    ? ""
                    : ", " + std::to_string(options.access_tokens.size()) + " access tokens by user and role")
            << ")\n";
  for (const std::string& path : absolute_paths) std::cout << "  database " << path << "\n";
  for (const std::string& text : options.connect_strings) {
    std::cout << "  database " << RedactedConnectString(ParseConnectString(text)) << "\n";
  }
  if (!options.registry_file.empty()) std::cout << "  registry " << options.registry_file << "\n";
  std::cout << "  web page " << url << "/\n";
  PrintExamples(options, url, allowlist.connect_strings().front(),
                absolute_paths.empty() ? std::string() : absolute_paths.front());
  std::cout << "Stop with Ctrl-C." << std::endl;

  std::atomic<bool> signalled = false;
  std::thread watcher([&] {
    int signal_number = 0;
    while (sigwait(&signals, &signal_number) == 0 && signal_number == SIGHUP) {
      std::string failure = server.ReloadCertificate();
      if (failure.empty()) {
        if (!options.tls_cert.empty()) LogLine("TLS certificate " + options.tls_cert + " read again");
      } else {
        LogLine("TLS certificate not renewed, the one in use stays: " + failure);
      }
    }
    signalled = true;
    server.Stop();
  });
  Housekeeper housekeeper(runtime);
  server.Serve();
  if (!signalled) pthread_kill(watcher.native_handle(), SIGTERM);
  watcher.join();
  std::cout << "Stopped." << std::endl;
}

}  // namespace

void AddServeCommand(CLI::App& app) {
  auto options = std::make_shared<ServeOptions>();
  CLI::App* command =
      app.add_subcommand("serve", "Serve the public classes over HTTP/JSON on the given databases");
  command->add_option("--config", options->config_file,
                      "TOML file with the settings below and those only a file carries (registry, "
                      "installation, commands, refresh callouts); flags given here win");
  command->add_option("--registry", options->registry_file,
                      "JSON file holding the registry the service reads (PLX.Reg)")
      ->check(CLI::ExistingFile);
  command->add_option("--db", options->db_paths, "SQLite account database (may be repeated)")
      ->check(CLI::ExistingFile);
  command->add_option("--connect", options->connect_strings,
                      "Connect string of a database to serve (may be repeated)");
  command->add_option("--bind", options->bind, "Address to listen on")->capture_default_str();
  command->add_option("--port", options->port, "Port (0 picks a free one)")->capture_default_str()
      ->check(RangeOf(server::kPortRange));
  command->add_flag("--enable-exec", options->enable_exec,
                    "Allow ExecCmd and RegMiddle (they run commands on this machine)");
  command->add_flag("--allow-anonymous", options->allow_anonymous,
                    "Serve an address other machines reach without any token");
  command->add_option("--allowed-origin", options->allowed_origins,
                      "A site whose web pages may call, e.g. https://erp.example.com (may be repeated)");
  command->add_option("--server-name", options->server_names,
                      "A name clients reach this server by, besides addresses and localhost (may be repeated)");
  command->add_option("--token", options->token_file,
                      "File holding a bearer token every request must carry")
      ->check(CLI::ExistingFile);
  command->add_option("--tls-cert", options->tls_cert,
                      "PEM certificate (then its chain) to serve HTTPS with; re-read on SIGHUP")
      ->check(CLI::ExistingFile);
  command->add_option("--tls-key", options->tls_key, "PEM private key of --tls-cert")->check(CLI::ExistingFile);
  command->add_option("--max-body", options->max_body,
                      "Largest request body in bytes (a chunked body counted whole)")
      ->capture_default_str()
      ->check(RangeOf(server::kMaxBodyRange));
  command->add_option("--workers", options->workers, "Worker threads (calls run at once)")
      ->capture_default_str()
      ->check(RangeOf(server::kWorkersRange));
  command->add_option("--max-calls-per-user", options->max_calls_per_user,
                      "Calls one user may have running at once, 429 beyond (0: a quarter of --workers)")
      ->capture_default_str()
      ->check(RangeOf(server::kMaxCallsPerUserRange));
  command->add_option("--max-buffered-mb", options->max_buffered_mb,
                      "Request bodies all connections may hold at once, in MiB (503 beyond)")
      ->capture_default_str()
      ->check(RangeOf(server::kMaxBufferedMbRange));
  command->add_option("--io-threads", options->io_threads,
                      "Threads that read requests and write replies")
      ->capture_default_str()
      ->check(RangeOf(server::kIoThreadsRange));
  command->add_option("--keep-alive", options->keep_alive,
                      "Seconds an idle connection is kept open")->capture_default_str()
      ->check(RangeOf(server::kKeepAliveRange));
  command->add_option("--request-timeout", options->request_timeout,
                      "Seconds a request (headers and body) may take to arrive, and a reply to "
                      "leave")
      ->capture_default_str()
      ->check(RangeOf(server::kRequestTimeoutRange));
  command->add_option("--max-connections", options->max_connections,
                      "Open connections at most; more are answered 503 and closed")
      ->capture_default_str()
      ->check(RangeOf(server::kMaxConnectionsRange));
  command->add_option("--lock-wait", options->lock_wait,
                      "Seconds a write waits for its database's write lock before failing busy")
      ->capture_default_str()
      ->check(RangeOf(server::kLockWaitRange));
  command->add_option("--lock-waiters", options->lock_waiters,
                      "Calls that may wait for one database's write lock at once; more fail busy")
      ->capture_default_str()
      ->check(RangeOf(server::kLockWaitersRange));
  command->add_option("--wal-bound-mb", options->wal_bound_mb,
                      "Write-ahead log size in MiB above which a commit empties the log, waiting "
                      "briefly for readers on older snapshots")
      ->capture_default_str()
      ->check(RangeOf(server::kWalBoundMbRange));
  command->add_option("--wal-bound-wait-ms", options->wal_bound_wait_ms,
                      "Milliseconds that emptying the log may wait for such readers")
      ->capture_default_str()
      ->check(RangeOf(server::kWalBoundWaitMsRange));
  command->add_flag("--fast-commits", options->fast_commits,
                    "SQLite: report a write done before it is on the disk (about ten times as many "
                    "writes a second; a power loss may take back the last ones, a crash of this "
                    "process never)");
  command->add_option("--example-user", options->example_user,
                      "User ID shown in the example calls printed at start")
      ->capture_default_str()
      ->check(RangeOf(server::kExampleUserRange));
  command->add_option("--cache-mb", options->cache_mb,
                      "Memory bound of the level and snapshot cache, in MiB (least recently used "
                      "entries go first)")
      ->capture_default_str()
      ->check(RangeOf(server::kCacheMbRange));
  command->callback([options, command] {
    ServeOptions merged = *options;
    RuntimeOptions runtime_options;
    MergeConfig(*command, merged, runtime_options);
    RunServe(merged, runtime_options);
  });
}

}  // namespace lxm::cli

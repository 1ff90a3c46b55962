// The configuration file of `serve`: what a good file sets, and that every
// fault is refused with the file, the line and the key named.
#include "server/serve_config.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace lxm::server {
namespace {

constexpr char kFile[] = "/srv/lxm/serve.toml";

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ServeConfigTest, RefusesFaultsNamingFileLineAndKey) {
  struct Case {
    std::string text;
    int line;
    const char* key;  // "" for a syntax error
    const char* says;
  };
  constexpr char kUrl[] = "refresh_callout.url";
  auto repeat = [](std::string_view piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
  };
  const Case cases[] = {
      // Unknown keys, at the top, in a table, in a list of tables, as a table.
      {"port = 8080\nprot = 1\n", 2, "prot", "is not known"},
      {"[installation]\nroot = \"/r\"\nrooot = \"/x\"\n", 3, "installation.rooot", "is not known"},
      {"[[commands.allowed]]\nprogram = \"/bin/true\"\narguments = \"\"\nargs = \"x\"\n", 4,
       "commands.allowed.args", "is not known"},
      {"[[refresh_callout]]\nprog_id = \"A\"\nurl = \"http://h:1/\"\ntimeout = 5\n", 4,
       "refresh_callout.timeout", "is not known"},
      {"bind = \"::1\"\n\n[server]\nport = 1\n", 3, "server", "is not known"},
      // Values of the wrong type.
      {"workers = \"8\"\n", 1, "workers", "must be an integer from 1 to 1024, not text"},
      {"enable_exec = \"yes\"\n", 1, "enable_exec", "must be true or false, not text"},
      {"db = [\"a.db\",\n      5]\n", 2, "db", "must be a list of text, not a list holding an integer"},
      {"connect = \"Provider=SQLite\"\n", 1, "connect", "must be a list of text, not text"},
      {"installation = \"/opt\"\n", 1, "installation", "must be a table"},
      {"[refresh_callout]\nprog_id = \"A\"\n", 1, "refresh_callout", "must be a list of tables"},
      {"[installation]\nmax_file_mb = 1.5\n", 2, "installation.max_file_mb", "not a number with a fraction"},
      {"bind = \"\"\n", 1, "bind", "must not be empty"},
      {"allowed_origins = [\"https://a.example/\"]\n", 1, "allowed_origins", "must be origins"},
      {"allowed_origins = [\"*\"]\n", 1, "allowed_origins", "must be origins"},
      // Out of range, the flags' ranges and the file's own.
      {"max_body = 0\n", 1, "max_body", "from 1 to 1073741824, not 0"},
      {"port = 65536\n", 1, "port", "from 0 to 65535, not 65536"},
      {"cache_mb = 100000\n", 1, "cache_mb", "from 1 to 65536, not 100000"},
      {"[commands]\ntimeout_seconds = -1\n", 2, "commands.timeout_seconds", "not -1"},
      {"[[refresh_callout]]\nprog_id = \"A\"\nurl = \"http://h:1/\"\ntimeout_seconds = 0\n", 4,
       "refresh_callout.timeout_seconds", "not 0"},
      {"[[refresh_callout]]\nprog_id = \"A\"\nurl = \"http://h:1/\"\nmax_reply_kb = 0\n", 4,
       "refresh_callout.max_reply_kb", "not 0"},
      {"[[refresh_callout]]\nprog_id = \"A\"\nurl = \"http://h:1/\"\nmax_reply_kb = 1\nmax_reply_bytes = 9\n", 5,
       "refresh_callout.max_reply_bytes", "not both"},
      {"[installation]\nedition = \"R8STANDRAD\"\n", 2, "installation.edition", "not \"R8STANDRAD\""},
      {"[[commands.allowed]]\nprogram = \"/bin/true\"\narguments = \"(\"\n", 3, "commands.allowed.arguments",
       "not a valid pattern"},
      // Callout URLs that are not http://host:port/path, a ProgID twice, a key missing.
      {"[[refresh_callout]]\nprog_id = \"A\"\nurl = \"https://h:443/r\"\n", 3, kUrl, "not \"https://h:443/r\""},
      {"[[refresh_callout]]\nprog_id = \"A\"\nurl = \"http://h/r\"\n", 3, kUrl, "http://host:port/path"},
      {"[[refresh_callout]]\nprog_id = \"A\"\nurl = \"http://h:8080\"\n", 3, kUrl, "http://host:port/path"},
      {"[[refresh_callout]]\nprog_id = \"A\"\nurl = \"http://u@h:80/\"\n", 3, kUrl, "http://host:port/path"},
      {"[[refresh_callout]]\nprog_id = \"A\"\nurl = \"http://h:99999/\"\n", 3, kUrl, "http://host:port/path"},
      {"[[refresh_callout]]\nprog_id = \"A\"\nurl = \"http://h:80/a b\"\n", 3, kUrl, "http://host:port/path"},
      {"[[refresh_callout]]\nprog_id = \"Acme.R\"\nurl = \"http://h:1/a\"\n\n"
       "[[refresh_callout]]\nprog_id = \"ACME.r\"\nurl = \"http://h:1/b\"\n",
       6, "refresh_callout.prog_id", "again (first at line 2)"},
      {"[[refresh_callout]]\nprog_id = \"A\"\n", 1, "refresh_callout.url", "is missing"},
      {"[[commands.allowed]]\narguments = \"\"\n", 1, "commands.allowed.program", "is missing"},
      // Command lines are compared by the program's resolved path.
      {"[[commands.allowed]]\nprogram = \"regsvr32.exe\"\narguments = \"\"\n", 2, "commands.allowed.program",
       "must be an absolute path"},
      // Access tokens: a digest that is not one (or could be the token itself),
      // a role or user ID that is not one, a key missing, a token twice.
      {"[[access_token]]\nsha256 = \"my-secret-token\"\nuser_id = 1\nrole = \"user\"\n", 2,
       "access_token.sha256", "64 hexadecimal digits"},
      {"[[access_token]]\nsha256 = \"" + std::string(63, 'a') + "g\"\nuser_id = 1\nrole = \"user\"\n", 2,
       "access_token.sha256", "64 hexadecimal digits"},
      {"[[access_token]]\nsha256 = \"" + std::string(64, 'a') + "\"\nuser_id = 1\nrole = \"admin\"\n", 4,
       "access_token.role", "must be \"user\" or \"administrator\", not \"admin\""},
      {"[[access_token]]\nsha256 = \"" + std::string(64, 'a') + "\"\nuser_id = \"16394\"\nrole = \"user\"\n", 3,
       "access_token.user_id", "must be an integer"},
      {"[[access_token]]\nsha256 = \"" + std::string(64, 'a') + "\"\nuser_id = 2147483648\nrole = \"user\"\n", 3,
       "access_token.user_id", "not 2147483648"},
      {"[[access_token]]\nsha256 = \"" + std::string(64, 'a') + "\"\nuser_id = 1\nrole = \"user\"\nuser = 2\n", 5,
       "access_token.user", "is not known"},
      {"[[access_token]]\nuser_id = 1\nrole = \"user\"\n", 1, "access_token.sha256", "is missing"},
      {"[[access_token]]\nsha256 = \"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\"\n"
       "user_id = 1\nrole = \"user\"\n",
       2, "access_token.sha256", "digest of the empty text"},
      {"[[access_token]]\nsha256 = \"" + std::string(64, 'a') + "\"\nrole = \"user\"\n", 1,
       "access_token.user_id", "is missing"},
      {"[[access_token]]\nsha256 = \"" + std::string(64, 'a') + "\"\nuser_id = 1\n", 1, "access_token.role",
       "is missing"},
      {"[[access_token]]\nsha256 = \"" + std::string(64, 'a') + "\"\nuser_id = 1\nrole = \"user\"\n\n"
       "[[access_token]]\nsha256 = \"" + std::string(64, 'A') + "\"\nuser_id = 2\nrole = \"administrator\"\n",
       7, "access_token.sha256", "names the same token again (first at line 2)"},
      {"access_token = \"secret\"\n", 1, "access_token", "must be a list of tables"},
      // TOML syntax errors.
      {"port = 8080\nbind = \n", 2, "", "not valid TOML"},
      {"port = 1\nport = 2\n", 2, "", "not valid TOML"},
      // Nesting deep enough to overflow the parser's stack is refused before
      // parsing; 64 dots on a line pass.
      {"a" + repeat(".a", 1000000) + " = 1\n", 1, "", "nests keys too deeply"},
      {"port = 1\n[a" + repeat(".a", 65) + "]\n", 2, "", "more than 64 dots"},
      {"[a" + repeat(".a", 64) + "]\n", 1, "a", "is not known"},
      {"a = " + repeat("[", 100000) + repeat("]", 100000) + "\n", 1, "", "not valid TOML"},
      {"a = " + repeat("{b=", 100000) + "1" + repeat("}", 100000) + "\n", 1, "", "not valid TOML"},
      // Dots in strings and comments are no keys.
      {"bind = \"" + repeat(".", 100) + "\" # " + repeat(".", 100) + "\nconnect = [\'\'\'" +
           repeat("\n.", 100) + repeat(".", 100) + "\'\'\']\nprot = 1\n",
       103, "prot", "is not known"},
      {"[[commands.allowed]]\nprogram = \"/bin/true\"\narguments = \"" + repeat("(", 5000) +
           repeat(")", 5000) + "\"\n",
       3, "commands.allowed.arguments", "is longer than 1024 characters"},
      {"[[commands.allowed]]\nprogram = \"/bin/true\"\narguments = \"a{1,92233720368547758073}\"\n", 3,
       "commands.allowed.arguments", "repeat count or back-reference of more than 9 digits"},
      {"[[commands.allowed]]\nprogram = \"/bin/true\"\narguments = \"(a)\\\\12345678901\"\n", 3,
       "commands.allowed.arguments", "repeat count or back-reference of more than 9 digits"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 120));
    try {
      ParseServeConfig(c.text, kFile);
      ADD_FAILURE() << "accepted";
    } catch (const ServeConfigError& error) {
      std::string message = error.what();
      std::string where = std::string(kFile) + ":" + std::to_string(c.line) + ": ";
      EXPECT_EQ(message.substr(0, where.size()), where) << message;
      if (*c.key != '\0') {
        EXPECT_NE(message.find("key \"" + std::string(c.key) + "\""), std::string::npos) << message;
      }
      EXPECT_NE(message.find(c.says), std::string::npos) << message;
      EXPECT_EQ(error.line(), c.line);
      EXPECT_EQ(error.key(), c.key);
    }
  }
}

TEST(ServeConfigTest, GoodFileSetsEverySetting) {
  ServeConfig config = ParseServeConfig(R"(
db = ["a.db", "/data/b.db"]
connect = ["Provider=SQLite;Data Source=c.db"]
bind = "0.0.0.0"
port = 9000
enable_exec = true
allow_anonymous = true
server_names = ["erp.example.com"]
allowed_origins = ["https://portal.example.com:8443"]
token = "secret/token"
max_body = 1024
workers = 3
io_threads = 4
keep_alive = 6
request_timeout = 7
max_connections = 8
lock_wait = 0
lock_waiters = 9
example_user = 16394
cache_mb = 32
wal_bound_mb = 5
wal_bound_wait_ms = 0
fast_commits = true
registry = "../etc/registry.json"

[installation]
root = "/opt/velmora/R8EXPRESS/"
edition = "r8express"
patch_dir = "patches"
file_roots = ["/opt/pics", "files/./served"]
max_file_mb = 2
files_in_flight_mb = 8

[commands]
timeout_seconds = 5

[[commands.allowed]]
program = "/bin/echo"
arguments = "hi|ho"

[[commands.allowed]]
program = "/opt/tools/tool"
arguments = ""

[[refresh_callout]]
prog_id = "Acme.A"
url = "http://[::1]:9100/refresh?kind=a"

[[refresh_callout]]
prog_id = "Acme.B"
url = "http://callouts.example:80/b"
timeout_seconds = 3
max_reply_bytes = 100

[[access_token]]
sha256 = "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08"
user_id = 16394
role = "user"

[[access_token]]
sha256 = "2c26b46b68ffc68ff99b453c1d30413413422d706483bfa0f98a5e886266e7ae"
user_id = -1
role = "administrator"
)",
                                        kFile);
  EXPECT_EQ(config.db_paths, (std::vector<std::string>{"/srv/lxm/a.db", "/data/b.db"}));
  // Connect strings are kept as written, their paths too.
  EXPECT_EQ(config.connect_strings, (std::vector<std::string>{"Provider=SQLite;Data Source=c.db"}));
  EXPECT_EQ(config.bind, "0.0.0.0");
  EXPECT_EQ(config.port, 9000);
  EXPECT_EQ(config.enable_exec, true);
  EXPECT_EQ(config.allow_anonymous, true);
  EXPECT_EQ(config.server_names, std::vector<std::string>{"erp.example.com"});
  EXPECT_EQ(config.allowed_origins, std::vector<std::string>{"https://portal.example.com:8443"});
  EXPECT_EQ(config.token_file, "/srv/lxm/secret/token");
  EXPECT_EQ(config.max_body, 1024u);
  EXPECT_EQ(config.workers, 3);
  EXPECT_EQ(config.io_threads, 4);
  EXPECT_EQ(config.keep_alive, 6);
  EXPECT_EQ(config.request_timeout, 7);
  EXPECT_EQ(config.max_connections, 8);
  EXPECT_EQ(config.lock_wait, 0);
  EXPECT_EQ(config.lock_waiters, 9);
  EXPECT_EQ(config.wal_bound_mb, 5);
  EXPECT_EQ(config.wal_bound_wait_ms, 0);
  EXPECT_EQ(config.fast_commits, true);
  EXPECT_EQ(config.example_user, 16394);
  EXPECT_EQ(config.cache_mb, 32u);
  EXPECT_EQ(config.registry_file, "/srv/etc/registry.json");

  EXPECT_EQ(config.installation.install_root, "/opt/velmora/R8EXPRESS/");
  EXPECT_EQ(config.installation.edition, "r8express");
  EXPECT_EQ(config.installation.patch_dir, "/srv/lxm/patches");
  EXPECT_EQ(config.installation.file_roots, (std::vector<std::string>{"/opt/pics", "/srv/lxm/files/served"}));
  EXPECT_EQ(config.installation.max_file_bytes, 2 << 20);
  EXPECT_EQ(config.installation.max_file_bytes_in_flight, 8 << 20);
  EXPECT_TRUE(config.installation.executable_path.empty());

  EXPECT_EQ(config.commands.timeout_seconds, 5);
  ASSERT_EQ(config.commands.allowed.size(), 2u);
  EXPECT_EQ(config.commands.allowed[0].program, "/bin/echo");
  EXPECT_EQ(config.commands.allowed[0].arguments, "hi|ho");
  EXPECT_EQ(config.commands.allowed[1].program, "/opt/tools/tool");
  EXPECT_EQ(config.commands.allowed[1].arguments, "");

  ASSERT_EQ(config.refresh_callouts.size(), 2u);
  EXPECT_EQ(config.refresh_callouts[0].prog_id, "Acme.A");
  EXPECT_EQ(config.refresh_callouts[0].url, "http://[::1]:9100/refresh?kind=a");
  EXPECT_EQ(config.refresh_callouts[0].timeout_seconds, 10);
  EXPECT_EQ(config.refresh_callouts[0].max_reply_bytes, size_t{16} << 20);
  EXPECT_EQ(config.refresh_callouts[1].prog_id, "Acme.B");
  EXPECT_EQ(config.refresh_callouts[1].timeout_seconds, 3);
  EXPECT_EQ(config.refresh_callouts[1].max_reply_bytes, 100u);

  // The digests of "test" and "foo"; the tokens themselves are never stored.
  ASSERT_EQ(config.access_tokens.size(), 2u);
  EXPECT_EQ(config.access_tokens[0].digest, Sha256("test"));
  EXPECT_EQ(config.access_tokens[0].user_id, 16394);
  EXPECT_EQ(config.access_tokens[0].role, Role::kUser);
  EXPECT_EQ(config.access_tokens[1].digest, Sha256("foo"));
  EXPECT_EQ(config.access_tokens[1].user_id, -1);
  EXPECT_EQ(config.access_tokens[1].role, Role::kAdministrator);
  EXPECT_NE(TokenMap(config.access_tokens).Find("foo"), nullptr);
  EXPECT_EQ(TokenMap(config.access_tokens).Find("fo"), nullptr);

  // An empty file leaves every setting to the flags and the defaults.
  ServeConfig empty = ParseServeConfig("# nothing\n", kFile);
  EXPECT_FALSE(empty.db_paths || empty.port || empty.enable_exec || empty.cache_mb);
  EXPECT_TRUE(empty.registry_file.empty());
  EXPECT_TRUE(empty.commands.allowed.empty());
  EXPECT_TRUE(empty.refresh_callouts.empty());
  EXPECT_TRUE(empty.access_tokens.empty());
}

// The example in data/ is the one the README shows, and it sets every key.
TEST(ServeConfigTest, DocumentedExampleIsValidAndComplete) {
  const std::string example_path = std::string(LXM_SOURCE_DIR) + "/data/lxmdataflow.example.toml";
  ServeConfig example = LoadServeConfig(example_path);
  EXPECT_TRUE(example.db_paths && example.connect_strings && example.bind && example.port &&
              example.enable_exec && example.allow_anonymous && example.server_names &&
              example.allowed_origins && example.token_file && example.tls_cert && example.tls_key &&
              example.max_body && example.workers && example.max_calls_per_user && example.max_buffered_mb &&
              example.io_threads && example.keep_alive && example.request_timeout &&
              example.max_connections && example.lock_wait && example.lock_waiters &&
              example.example_user && example.cache_mb && example.wal_bound_mb && example.wal_bound_wait_ms &&
              example.fast_commits);
  EXPECT_FALSE(example.registry_file.empty());
  EXPECT_FALSE(example.installation.install_root.empty() || example.installation.edition.empty() ||
               example.installation.patch_dir.empty() || example.installation.file_roots.empty());
  EXPECT_FALSE(example.commands.allowed.empty());
  EXPECT_FALSE(example.refresh_callouts.empty());
  EXPECT_FALSE(example.access_tokens.empty());

  std::string indented;
  std::istringstream lines(FileText(example_path));
  for (std::string line; std::getline(lines, line);) indented += line.empty() ? "\n" : "    " + line + "\n";
  EXPECT_NE(FileText(std::string(LXM_SOURCE_DIR) + "/README.md").find(indented), std::string::npos)
      << "the README's example differs from data/lxmdataflow.example.toml";

  try {
    LoadServeConfig(std::string(LXM_SOURCE_DIR) + "/data/no-such.toml");
    ADD_FAILURE() << "a missing file was read";
  } catch (const ServeConfigError& error) {
    EXPECT_NE(std::string(error.what()).find("no-such.toml: cannot be read"), std::string::npos);
  }
}

}  // namespace
}  // namespace lxm::server

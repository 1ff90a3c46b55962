#include "server/serve_config.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <tuple>

#include <toml++/toml.h>

#include "platform/text_util.h"
#include "server/toml_key_depth.h"

namespace lxm::server {

namespace {

namespace fs = std::filesystem;

constexpr IntRange kCommandTimeoutRange{1, 86400};
constexpr IntRange kMaxFileMbRange{1, 2047};  // served sizes are 32-bit
constexpr IntRange kCalloutTimeoutRange{1, 3600};
constexpr IntRange kMaxReplyKbRange{1, int64_t{1} << 20};
constexpr IntRange kMaxReplyBytesRange{1, int64_t{1} << 30};
// std::regex compiles recursively: a long pattern of nested groups
// overflows the stack. Real patterns are a line or two.
constexpr size_t kMaxPatternLength = 1024;
// libstdc++ adds up the digits of a repeat count ("{n,m}") or a
// back-reference ("\\1") without checking for overflow.
constexpr size_t kMaxCountDigits = 9;
constexpr std::string_view kEditions[] = {"R8EXPRESS", "R8STANDARD", "R8ULTIMATE"};

std::string_view TypeName(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::string: return "text";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a number with a fraction";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time";
    case toml::node_type::date_time: return "a date-time";
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "a list";
    default: return "nothing";
  }
}

int LineOf(const toml::source_region& region) { return static_cast<int>(region.begin.line); }

// One key of a table and its value; `path` is the dotted name from the top.
struct Field {
  std::string path;
  std::string_view name;
  const toml::node* node;
  int key_line;
};

// "http://host:port/path": a name or address, an explicit port and a path.
bool IsCalloutUrl(std::string_view url) {
  constexpr std::string_view kScheme = "http://";
  if (url.substr(0, kScheme.size()) != kScheme) return false;
  std::string_view rest = url.substr(kScheme.size());
  size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return false;
  std::string_view authority = rest.substr(0, slash);
  std::string_view host;
  std::string_view port;
  bool bracketed = !authority.empty() && authority.front() == '[';
  if (bracketed) {
    size_t close = authority.find(']');
    if (close == std::string_view::npos || authority.substr(close + 1, 1) != ":") return false;
    host = authority.substr(1, close - 1);
    port = authority.substr(close + 2);
  } else {
    size_t colon = authority.find(':');
    if (colon == std::string_view::npos) return false;
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  auto host_char = [bracketed](char c) {
    bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return alnum || c == '-' || c == '.' || (bracketed && c == ':');
  };
  if (host.empty() || !std::all_of(host.begin(), host.end(), host_char)) return false;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), digit)) return false;
  int number = std::stoi(std::string(port));
  if (number < 1 || number > 65535) return false;
  std::string_view path = rest.substr(slash);
  auto control_or_blank = [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; };
  return std::none_of(path.begin(), path.end(), control_or_blank);
}

// Whether a pattern holds a repeat count or back-reference of more digits
// than kMaxCountDigits.
bool HasOversizedCount(std::string_view pattern) {
  auto digits_at = [&](size_t at) {
    size_t end = at;
    while (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9') ++end;
    return end - at;
  };
  bool in_braces = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '\\') {
      if (digits_at(i + 1) > kMaxCountDigits) return true;
      ++i;
    } else if (c == '{' || (c == ',' && in_braces)) {
      in_braces = true;
      if (digits_at(i + 1) > kMaxCountDigits) return true;
    } else if (c == '}') {
      in_braces = false;
    }
  }
  return false;
}

class Reader {
 public:
  explicit Reader(const std::string& file_name)
      : file_(file_name), folder_(fs::absolute(fs::path(file_name)).parent_path()) {}

  ServeConfig Read(const toml::table& root) {
    ServeConfig config;
    for (const Field& field : Fields(root, "")) {
      std::string_view name = field.name;
      if (name == "db") {
        config.db_paths = PathList(field);
      } else if (name == "connect") {
        config.connect_strings = TextList(field);
      } else if (name == "bind") {
        config.bind = Text(field);
      } else if (name == "port") {
        config.port = static_cast<int>(Integer(field, kPortRange));
      } else if (name == "enable_exec") {
        config.enable_exec = Boolean(field);
      } else if (name == "allow_anonymous") {
        config.allow_anonymous = Boolean(field);
      } else if (name == "allowed_origins") {
        config.allowed_origins = OriginList(field);
      } else if (name == "server_names") {
        config.server_names = TextList(field);
      } else if (name == "token") {
        config.token_file = Path(field);
      } else if (name == "tls_cert") {
        config.tls_cert = Path(field);
      } else if (name == "tls_key") {
        config.tls_key = Path(field);
      } else if (name == "max_body") {
        config.max_body = static_cast<size_t>(Integer(field, kMaxBodyRange));
      } else if (name == "workers") {
        config.workers = static_cast<int>(Integer(field, kWorkersRange));
      } else if (name == "max_calls_per_user") {
        config.max_calls_per_user = static_cast<int>(Integer(field, kMaxCallsPerUserRange));
      } else if (name == "max_buffered_mb") {
        config.max_buffered_mb = static_cast<size_t>(Integer(field, kMaxBufferedMbRange));
      } else if (name == "io_threads") {
        config.io_threads = static_cast<int>(Integer(field, kIoThreadsRange));
      } else if (name == "keep_alive") {
        config.keep_alive = static_cast<int>(Integer(field, kKeepAliveRange));
      } else if (name == "request_timeout") {
        config.request_timeout = static_cast<int>(Integer(field, kRequestTimeoutRange));
      } else if (name == "max_connections") {
        config.max_connections = static_cast<int>(Integer(field, kMaxConnectionsRange));
      } else if (name == "lock_wait") {
        config.lock_wait = static_cast<int>(Integer(field, kLockWaitRange));
      } else if (name == "lock_waiters") {
        config.lock_waiters = static_cast<int>(Integer(field, kLockWaitersRange));
      } else if (name == "example_user") {
        config.example_user = static_cast<int>(Integer(field, kExampleUserRange));
      } else if (name == "cache_mb") {
        config.cache_mb = static_cast<size_t>(Integer(field, kCacheMbRange));
      } else if (name == "wal_bound_mb") {
        config.wal_bound_mb = static_cast<int>(Integer(field, kWalBoundMbRange));
      } else if (name == "wal_bound_wait_ms") {
        config.wal_bound_wait_ms = static_cast<int>(Integer(field, kWalBoundWaitMsRange));
      } else if (name == "fast_commits") {
        config.fast_commits = Boolean(field);
      } else if (name == "registry") {
        config.registry_file = Path(field);
      } else if (name == "installation") {
        ReadInstallation(Table(field), field.path, config.installation);
      } else if (name == "commands") {
        ReadCommands(Table(field), field.path, config.commands);
      } else if (name == "refresh_callout") {
        for (const toml::table* table : TableList(field)) {
          config.refresh_callouts.push_back(ReadCallout(*table, field.path));
        }
      } else if (name == "access_token") {
        for (const toml::table* table : TableList(field)) {
          config.access_tokens.push_back(ReadAccessToken(*table, field.path));
        }
      } else {
        Unknown(field);
      }
    }
    return config;
  }

 private:
  [[noreturn]] void Fail(int line, const std::string& key, const std::string& detail) const {
    throw ServeConfigError(file_, line, key, "key \"" + key + "\" " + detail);
  }
  [[noreturn]] void Unknown(const Field& field) const { Fail(field.key_line, field.path, "is not known"); }
  [[noreturn]] void WrongType(const Field& field, const std::string& wanted) const {
    Fail(LineOf(field.node->source()), field.path, "must be " + wanted + ", not " + std::string(TypeName(*field.node)));
  }

  // The keys of `table` in the order the file gives them, so that the first
  // fault in the file is the one reported.
  std::vector<Field> Fields(const toml::table& table, std::string_view prefix) const {
    std::vector<Field> fields;
    for (const auto& [key, node] : table) {
      std::string path = prefix.empty() ? std::string(key.str()) : std::string(prefix) + "." + std::string(key.str());
      fields.push_back({std::move(path), key.str(), &node, LineOf(key.source())});
    }
    std::stable_sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) {
      const toml::source_position& left = a.node->source().begin;
      const toml::source_position& right = b.node->source().begin;
      return std::tie(a.key_line, left.line, left.column) < std::tie(b.key_line, right.line, right.column);
    });
    return fields;
  }

  std::string Text(const Field& field) const {
    const toml::value<std::string>* text = field.node->as_string();
    if (text == nullptr) WrongType(field, "text");
    if (text->get().empty()) Fail(LineOf(field.node->source()), field.path, "must not be empty");
    return text->get();
  }

  bool Boolean(const Field& field) const {
    const toml::value<bool>* value = field.node->as_boolean();
    if (value == nullptr) WrongType(field, "true or false");
    return value->get();
  }

  int64_t Integer(const Field& field, IntRange range) const {
    std::string wanted = "an integer from " + std::to_string(range.min) + " to " + std::to_string(range.max);
    const toml::value<int64_t>* value = field.node->as_integer();
    if (value == nullptr) WrongType(field, wanted);
    if (value->get() < range.min || value->get() > range.max) {
      Fail(LineOf(field.node->source()), field.path, "must be " + wanted + ", not " + std::to_string(value->get()));
    }
    return value->get();
  }

  // An absolute path, or one taken from the configuration file's folder.
  std::string Path(const Field& field) const {
    fs::path path(Text(field));
    if (path.is_relative()) path = folder_ / path;
    return path.lexically_normal().string();
  }

  std::vector<std::string> TextList(const Field& field) const {
    const toml::array* array = field.node->as_array();
    if (array == nullptr) WrongType(field, "a list of text");
    std::vector<std::string> texts;
    for (const toml::node& element : *array) {
      Field item{field.path, field.name, &element, LineOf(element.source())};
      if (!element.is_string()) {
        Fail(item.key_line, field.path, "must be a list of text, not a list holding " + std::string(TypeName(element)));
      }
      texts.push_back(Text(item));
    }
    return texts;
  }

  // Origins as browsers send them: the scheme, "://" and the host with its
  // port when not the scheme's own, nothing after.
  std::vector<std::string> OriginList(const Field& field) const {
    std::vector<std::string> origins = TextList(field);
    for (const std::string& origin : origins) {
      size_t host = origin.find("://");
      std::string_view scheme = std::string_view(origin).substr(0, host);
      if (host == std::string::npos || (scheme != "http" && scheme != "https") || host + 3 == origin.size() ||
          origin.find_first_of("/?#@ ", host + 3) != std::string::npos) {
        Fail(LineOf(field.node->source()), field.path,
             "must be origins such as \"https://erp.example.com\", not \"" + origin + "\"");
      }
    }
    return origins;
  }

  std::vector<std::string> PathList(const Field& field) const {
    std::vector<std::string> paths = TextList(field);
    for (std::string& path : paths) {
      if (fs::path(path).is_relative()) path = (folder_ / path).lexically_normal().string();
    }
    return paths;
  }

  const toml::table& Table(const Field& field) const {
    const toml::table* table = field.node->as_table();
    if (table == nullptr) WrongType(field, "a table ([" + field.path + "])");
    return *table;
  }

  std::vector<const toml::table*> TableList(const Field& field) const {
    const toml::array* array = field.node->as_array();
    std::string wanted = "a list of tables ([[" + field.path + "]])";
    if (array == nullptr) WrongType(field, wanted);
    std::vector<const toml::table*> tables;
    for (const toml::node& element : *array) {
      if (!element.is_table()) WrongType({field.path, field.name, &element, LineOf(element.source())}, wanted);
      tables.push_back(element.as_table());
    }
    return tables;
  }

  [[noreturn]] void Missing(const toml::table& table, const std::string& path) const {
    Fail(LineOf(table.source()), path, "is missing");
  }

  void ReadInstallation(const toml::table& table, const std::string& prefix, InstallationSettings& settings) const {
    for (const Field& field : Fields(table, prefix)) {
      std::string_view name = field.name;
      if (name == "root") {
        settings.install_root = Path(field);
      } else if (name == "edition") {
        settings.edition = Text(field);
        bool known = std::any_of(std::begin(kEditions), std::end(kEditions),
                                 [&](std::string_view edition) { return EqualsIgnoreCase(edition, settings.edition); });
        if (!known) {
          Fail(LineOf(field.node->source()), field.path,
               "must be R8EXPRESS, R8STANDARD or R8ULTIMATE, not \"" + settings.edition + "\"");
        }
      } else if (name == "patch_dir") {
        settings.patch_dir = Path(field);
      } else if (name == "file_roots") {
        settings.file_roots = PathList(field);
      } else if (name == "max_file_mb") {
        settings.max_file_bytes = Integer(field, kMaxFileMbRange) << 20;
      } else if (name == "files_in_flight_mb") {
        settings.max_file_bytes_in_flight = Integer(field, kMaxFileMbRange) << 20;
      } else {
        Unknown(field);
      }
    }
  }

  void ReadCommands(const toml::table& table, const std::string& prefix, CommandSettings& settings) const {
    for (const Field& field : Fields(table, prefix)) {
      if (field.name == "timeout_seconds") {
        settings.timeout_seconds = static_cast<int>(Integer(field, kCommandTimeoutRange));
      } else if (field.name == "allowed") {
        for (const toml::table* entry : TableList(field)) settings.allowed.push_back(ReadAllowed(*entry, field.path));
      } else {
        Unknown(field);
      }
    }
  }

  AllowedCommand ReadAllowed(const toml::table& table, const std::string& prefix) const {
    AllowedCommand allowed;
    bool has_arguments = false;
    for (const Field& field : Fields(table, prefix)) {
      if (field.name == "program") {
        allowed.program = Text(field);
        // A command line's program is resolved to an absolute path before
        // it is compared: any other spelling could never match.
        if (!allowed.program.empty() && allowed.program[0] != '/') {
          Fail(LineOf(field.node->source()), field.path,
               "must be an absolute path (a bare name on a command line is looked up in the server's PATH, "
               "and the list names the program found)");
        }
      } else if (field.name == "arguments") {
        // May be empty: the program then runs only without arguments.
        const toml::value<std::string>* text = field.node->as_string();
        if (text == nullptr) WrongType(field, "text (a pattern)");
        allowed.arguments = text->get();
        has_arguments = true;
        if (allowed.arguments.size() > kMaxPatternLength) {
          Fail(LineOf(field.node->source()), field.path,
               "is longer than " + std::to_string(kMaxPatternLength) + " characters");
        }
        if (HasOversizedCount(allowed.arguments)) {
          Fail(LineOf(field.node->source()), field.path,
               "has a repeat count or back-reference of more than " + std::to_string(kMaxCountDigits) +
                   " digits");
        }
        try {
          std::regex pattern(allowed.arguments);
        } catch (const std::regex_error& error) {
          Fail(LineOf(field.node->source()), field.path, std::string("is not a valid pattern: ") + error.what());
        }
      } else {
        Unknown(field);
      }
    }
    if (allowed.program.empty()) Missing(table, prefix + ".program");
    if (!has_arguments) Missing(table, prefix + ".arguments");
    return allowed;
  }

  RefreshCalloutSettings ReadCallout(const toml::table& table, const std::string& prefix) {
    RefreshCalloutSettings callout;
    int reply_limit_line = 0;
    int prog_id_line = 0;
    for (const Field& field : Fields(table, prefix)) {
      std::string_view name = field.name;
      if (name == "prog_id") {
        callout.prog_id = Text(field);
        prog_id_line = LineOf(field.node->source());
      } else if (name == "url") {
        callout.url = Text(field);
        if (!IsCalloutUrl(callout.url)) {
          Fail(LineOf(field.node->source()), field.path,
               "must be a URL of the form http://host:port/path, not \"" + callout.url + "\"");
        }
      } else if (name == "timeout_seconds") {
        callout.timeout_seconds = static_cast<int>(Integer(field, kCalloutTimeoutRange));
      } else if (name == "max_reply_kb" || name == "max_reply_bytes") {
        if (reply_limit_line != 0) {
          Fail(field.key_line, field.path,
               "repeats the reply limit given at line " + std::to_string(reply_limit_line) +
                   ": give max_reply_kb or max_reply_bytes, not both");
        }
        reply_limit_line = field.key_line;
        callout.max_reply_bytes = name == "max_reply_kb"
                                      ? static_cast<size_t>(Integer(field, kMaxReplyKbRange)) << 10
                                      : static_cast<size_t>(Integer(field, kMaxReplyBytesRange));
      } else {
        Unknown(field);
      }
    }
    if (callout.prog_id.empty()) Missing(table, prefix + ".prog_id");
    if (callout.url.empty()) Missing(table, prefix + ".url");
    auto [first, added] = callout_lines_.emplace(ToLowerAscii(callout.prog_id), prog_id_line);
    if (!added) {
      Fail(prog_id_line, prefix + ".prog_id",
           "names \"" + callout.prog_id + "\" again (first at line " + std::to_string(first->second) + ")");
    }
    return callout;
  }

  AccessGrant ReadAccessToken(const toml::table& table, const std::string& prefix) {
    AccessGrant grant;
    int digest_line = 0;
    bool has_user = false;
    bool has_role = false;
    for (const Field& field : Fields(table, prefix)) {
      std::string_view name = field.name;
      int line = LineOf(field.node->source());
      if (name == "sha256") {
        std::string hex = Text(field);
        std::optional<Sha256Digest> digest = ParseSha256Hex(hex);
        // Never echo the value: someone may have pasted the token itself.
        if (!digest) Fail(line, field.path, "must be the token's SHA-256 digest in 64 hexadecimal digits");
        // What sha256sum prints for nothing: the token's variable was unset.
        if (*digest == Sha256("")) Fail(line, field.path, "is the digest of the empty text, which is no token");
        grant.digest = *digest;
        digest_line = line;
      } else if (name == "user_id") {
        grant.user_id = static_cast<int32_t>(Integer(field, kUserIdRange));
        has_user = true;
      } else if (name == "role") {
        std::string role = Text(field);
        std::optional<Role> known = RoleNamed(role);
        if (!known) Fail(line, field.path, "must be \"user\" or \"administrator\", not \"" + role + "\"");
        grant.role = *known;
        has_role = true;
      } else {
        Unknown(field);
      }
    }
    if (digest_line == 0) Missing(table, prefix + ".sha256");
    if (!has_user) Missing(table, prefix + ".user_id");
    if (!has_role) Missing(table, prefix + ".role");
    auto [first, added] = digest_lines_.emplace(grant.digest, digest_line);
    if (!added) {
      Fail(digest_line, prefix + ".sha256",
           "names the same token again (first at line " + std::to_string(first->second) + ")");
    }
    return grant;
  }

  std::string file_;
  fs::path folder_;
  std::map<Sha256Digest, int> digest_lines_;  // token digest → its line
  std::map<std::string, int> callout_lines_;  // ProgID in lower case → its line
};

}  // namespace

ServeConfigError::ServeConfigError(const std::string& file, int line, std::string key, const std::string& detail)
    : std::runtime_error(file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + detail),
      line_(line),
      key_(std::move(key)) {}

ServeConfig ParseServeConfig(std::string_view text, const std::string& file_name) {
  if (int line = LineWithTooManyKeyDots(text); line > 0) {
    throw ServeConfigError(file_name, line, "",
                           "nests keys too deeply: more than " + std::to_string(kMaxKeyDotsPerLine) +
                               " dots outside strings on one line");
  }
  toml::table root;
  try {
    root = toml::parse(text, file_name);
  } catch (const toml::parse_error& error) {
    throw ServeConfigError(file_name, LineOf(error.source()), "",
                           "not valid TOML: " + std::string(error.description()));
  }
  return Reader(file_name).Read(root);
}

ServeConfig LoadServeConfig(const std::string& path) {
  std::error_code error;
  std::ifstream in(path, std::ios::binary);
  if (!fs::is_regular_file(path, error) || !in) throw ServeConfigError(path, 0, "", "cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  return ParseServeConfig(text.str(), path);
}

}  // namespace lxm::server

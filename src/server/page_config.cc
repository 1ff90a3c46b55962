#include "server/page_config.h"

#include <string>

#include "platform/db/connect_string.h"
#include "platform/db/redacted_connect_string.h"

namespace lxm::server {

namespace {

// The name a person knows the database by: its file name, else its
// database name on the server.
std::string ShortName(const ConnectString& parsed) {
  if (parsed.backend == Backend::kSQLite) {
    std::string path = parsed.data_source();
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }
  return parsed.Get("Database");
}

}  // namespace

Reply PageConfigReply(const DispatcherOptions& options, int example_user, bool token_required) {
  Reply reply{200, R"({"databases":[)"};
  std::string& out = reply.body;
  if (options.databases) {
    bool first = true;
    for (const std::string& text : options.databases->connect_strings()) {
      ConnectString parsed = ParseConnectString(text);
      if (!first) out.push_back(',');
      first = false;
      out.append(R"({"connectString":)");
      AppendJsonString(RedactedConnectString(parsed), &out);
      out.append(R"(,"name":)");
      AppendJsonString(ShortName(parsed), &out);
      out.push_back('}');
    }
  }
  out.append(R"(],"exampleUser":)");
  out.append(std::to_string(example_user));
  out.append(R"(,"tokenRequired":)");
  out.append(token_required ? "true" : "false");
  out.push_back('}');
  return reply;
}

}  // namespace lxm::server

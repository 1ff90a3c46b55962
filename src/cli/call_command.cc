#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "platform/com_error.h"
#include "platform/dictionary.h"
#include "platform/runtime.h"
#include "server/dispatcher.h"
#include "server/http_client.h"
#include "server/json_codec.h"
#include "server/type_library.h"
#include "server/value_text.h"
#include "tree/account_setup.h"

namespace lxm::cli {

namespace {

struct CallOptions {
  std::string prog_id;
  std::string method;
  std::vector<std::string> args;
  std::string db;
  std::string connect;
  int32_t user = 0;
  std::string language = "chs";
  std::string dsn;
  bool json = false;
  std::string server;
  std::string token_file;
  std::string ca_file;
};

// An argument as JSON: the text itself when it is JSON, else the text as a
// JSON string (so that plain words need no quotes).
std::string ArgumentJson(const std::string& text) {
  if (nlohmann::ordered_json::accept(text)) return text;
  std::string out;
  server::AppendJsonString(text, &out);
  return out;
}

std::string ReadTokenFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("Cannot read the token file " + path + ".");
  std::string token;
  in >> token;
  return token;
}

std::string Descriptor(const CallOptions& options) {
  if (!options.dsn.empty()) return options.dsn;
  if (!options.connect.empty()) return DescriptorFor(options.connect, options.user, options.language);
  if (options.db.empty()) return {};
  // Absolute, so that a server started elsewhere finds the same file.
  return MakeDescriptor(std::filesystem::absolute(options.db).lexically_normal().string(),
                        options.user, options.language);
}

// Prints an error reply and fails the command.
[[noreturn]] void Fail(const server::Reply& reply) {
  nlohmann::ordered_json json = nlohmann::ordered_json::parse(reply.body, nullptr, false);
  if (!json.is_discarded() && json.contains("error") && json["error"].is_object()) {
    const auto& error = json["error"];
    if (error.contains("number")) {
      throw ComError(error.value("number", 0), error.value("source", std::string()),
                     error.value("description", std::string()), error.value("helpFile", std::string()),
                     error.value("helpContext", 0));
    }
    throw std::runtime_error(error.value("description", std::string()) + " (" +
                             error.value("kind", std::string()) + ")");
  }
  throw std::runtime_error("HTTP " + std::to_string(reply.status) + ": " + reply.body);
}

void RunCall(const CallOptions& options) {
  const server::TypeLibrary& library = server::PublicTypeLibrary();
  const server::ClassInfo* info = library.Find(options.prog_id);
  const server::MethodInfo* method = info == nullptr ? nullptr : info->Find(options.method);

  std::string body = R"({"args":[)";
  bool first = true;
  if (method != nullptr && method->DescriptorIndex() == 0) {
    std::string descriptor = Descriptor(options);
    if (descriptor.empty()) {
      throw std::runtime_error(method->name + " takes a descriptor first: give --db PATH (or --connect TEXT) "
                               "--user N [--lang L], or --dsn TEXT.");
    }
    server::AppendJsonString(descriptor, &body);
    first = false;
  }
  for (const std::string& arg : options.args) {
    if (!first) body += ',';
    first = false;
    body += ArgumentJson(arg);
  }
  body += "]}";

  server::Reply reply;
  if (!options.server.empty()) {
    std::string token = options.token_file.empty() ? std::string() : ReadTokenFile(options.token_file);
    std::string url = options.server;
    while (!url.empty() && url.back() == '/') url.pop_back();
    server::HttpLimits limits;
    limits.ca_file = options.ca_file;
    server::HttpReply http = server::HttpPost(
        url, "/rpc/" + options.prog_id + "/" + options.method, body, token, limits);
    reply = {http.status, std::move(http.body)};
  } else {
    // In-process: the caller names the database itself, and commands run
    // on the caller's own machine.
    server::DispatcherOptions dispatch;
    dispatch.enable_exec = true;
    server::Dispatcher dispatcher(Runtime::Default(), library, dispatch);
    reply = dispatcher.Call(options.prog_id, options.method, body);
  }

  if (options.json) {
    std::cout << reply.Text() << "\n";
    if (reply.status != 200) throw CLI::RuntimeError(1);
    return;
  }
  if (reply.status != 200) Fail(reply);
  Variant decoded = server::ParseValue(reply.Text());
  const Dictionary& fields = *decoded.AsDictionary();
  Variant result;
  if (fields.Lookup("result", &result)) std::cout << server::FormatValue(result);
  Variant out;
  if (fields.Lookup("out", &out) && out.kind() == VariantKind::kDictionary) {
    for (const auto& [name, value] : out.AsDictionary()->entries()) {
      if (value.IsObject() && !value.IsNothing()) {
        std::cout << name << " (out):\n" << server::FormatValue(value, 2);
      } else {
        std::cout << name << " (out): " << server::FormatScalar(value) << "\n";
      }
    }
  }
}

}  // namespace

void AddCallCommand(CLI::App& app) {
  auto options = std::make_shared<CallOptions>();
  CLI::App* command = app.add_subcommand(
      "call", "Call one method by name, in-process or on a server, and print its result");
  command->add_option("progid", options->prog_id, "Class, e.g. LXMDataFlow.DatasInfo")->required();
  command->add_option("method", options->method, "Method, e.g. GetSubSystem")->required();
  // The arguments after the descriptor are taken as they come, not as a
  // CLI11 list option, which would split a JSON array such as
  // '[{"FFuncName":"a"}]' at its commas.
  command->allow_extras();
  command->footer(
      "ARG ...: the arguments after the descriptor, each a JSON value (text that is not JSON is taken "
      "as a string); a list is a JSON array, e.g. '[{\"FFuncName\":\"Entry\"}]'.");
  CLI::Option* db = command->add_option("--db", options->db, "Account database file");
  CLI::Option* connect =
      command->add_option("--connect", options->connect, "Connect string of the account database");
  CLI::Option* user = command->add_option("--user", options->user, "User ID for the descriptor");
  command->add_option("--lang", options->language, "Language: chs, cht or en")
      ->check(CLI::IsMember({"chs", "cht", "en"}));
  CLI::Option* dsn = command->add_option("--dsn", options->dsn, "The whole descriptor text");
  db->needs(user);
  connect->needs(user);
  connect->excludes(db);
  dsn->excludes(db);
  dsn->excludes(connect);
  command->add_flag("--json", options->json, "Print the reply as the server sends it");
  command->add_option("--server", options->server,
                      "Send the call to a running server, e.g. http://127.0.0.1:8765 or https://erp.example.com:8765");
  command->add_option("--token", options->token_file, "File holding the server's bearer token");
  command->add_option("--ca", options->ca_file,
                      "PEM certificates that may sign an https server's (default: the system's)")
      ->check(CLI::ExistingFile);
  command->callback([options, command] {
    options->args = command->remaining();
    RunCall(*options);
  });
}

}  // namespace lxm::cli

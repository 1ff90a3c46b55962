#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/commands.h"
#include "platform/db/connect_string.h"
#include "platform/db/redacted_connect_string.h"
#include "tree/account_setup.h"
#include "tree/postgres_account.h"
#include "tree/synthetic_data.h"

namespace lxm::cli {

namespace {

struct InitOptions {
  std::string db;
  std::string connect;
  bool demo = false;
  std::string synthetic;
  bool replace = false;
};

void RunInit(const InitOptions& options) {
  AccountSetupOptions setup;
  setup.demo = options.demo;
  setup.replace = options.replace;
  if (!options.synthetic.empty()) setup.synthetic = ParseSyntheticShape(options.synthetic);
  if (options.db.empty() == options.connect.empty()) {
    throw std::runtime_error("Name one database: --db PATH or --connect TEXT.");
  }
  if (!options.connect.empty()) {
    CreatePostgresAccount(Runtime::Default(), options.connect, setup);
    std::cout << "Created the account in " << RedactedConnectString(ParseConnectString(options.connect));
  } else {
    CreateAccountDatabase(Runtime::Default(), options.db, setup);
    std::cout << "Created " << options.db;
  }
  if (options.demo) std::cout << " with the demo account";
  if (setup.synthetic) std::cout << " with a synthetic tree " << options.synthetic;
  std::cout << "\n";
}

}  // namespace

void AddInitCommand(CLI::App& app) {
  auto options = std::make_shared<InitOptions>();
  CLI::App* command = app.add_subcommand("init", "Create an account database with the tree schema");
  command->add_option("--db", options->db, "Database file to create");
  command->add_option("--connect", options->connect,
                      "Connect string of an existing PostgreSQL database to create the account in");
  command->add_flag("--demo", options->demo, "Load the demo account");
  command->add_option("--synthetic", options->synthetic,
                      "Generate a tree of shape TOP,SUB,FUNC,DETAIL (per parent)");
  command->add_flag("--replace", options->replace, "Replace the file if it exists");
  command->callback([options] { RunInit(*options); });
}

}  // namespace lxm::cli

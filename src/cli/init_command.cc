#include <iostream>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "tree/account_setup.h"
#include "tree/synthetic_data.h"

namespace lxm::cli {

namespace {

struct InitOptions {
  std::string db;
  bool demo = false;
  std::string synthetic;
  bool replace = false;
};

void RunInit(const InitOptions& options) {
  AccountSetupOptions setup;
  setup.demo = options.demo;
  setup.replace = options.replace;
  if (!options.synthetic.empty()) setup.synthetic = ParseSyntheticShape(options.synthetic);
  CreateAccountDatabase(Runtime::Default(), options.db, setup);
  std::cout << "Created " << options.db;
  if (options.demo) std::cout << " with the demo account";
  if (setup.synthetic) std::cout << " with a synthetic tree " << options.synthetic;
  std::cout << "\n";
}

}  // namespace

void AddInitCommand(CLI::App& app) {
  auto options = std::make_shared<InitOptions>();
  CLI::App* command = app.add_subcommand("init", "Create an account database with the tree schema");
  command->add_option("--db", options->db, "Database file to create")->required();
  command->add_flag("--demo", options->demo, "Load the demo account");
  command->add_option("--synthetic", options->synthetic,
                      "Generate a tree of shape TOP,SUB,FUNC,DETAIL (per parent)");
  command->add_flag("--replace", options->replace, "Replace the file if it exists");
  command->callback([options] { RunInit(*options); });
}

}  // namespace lxm::cli

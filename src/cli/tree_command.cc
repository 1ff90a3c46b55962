#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/commands.h"
#include "tree/account_setup.h"
#include "tree/cls_data_info.h"
#include "tree/tree_view.h"

namespace lxm::cli {

namespace {

struct TreeOptions {
  std::string db;
  std::string connect;
  int32_t user = 0;
  std::string language = "chs";
};

void RunTree(const TreeOptions& options) {
  std::string descriptor = options.connect.empty()
                               ? MakeDescriptor(options.db, options.user, options.language)
                               : DescriptorFor(options.connect, options.user, options.language);
  clsDataInfo data_info;
  std::shared_ptr<Dictionary> template_snapshot = data_info.GetTemplate(descriptor);
  std::shared_ptr<Dictionary> user_snapshot = data_info.GetUserData(descriptor);
  std::cout << RenderTree(BuildUserTree(*template_snapshot, *user_snapshot));
}

}  // namespace

void AddTreeCommand(CLI::App& app) {
  auto options = std::make_shared<TreeOptions>();
  CLI::App* command = app.add_subcommand("tree", "Print the function tree one user sees");
  CLI::Option* db = command->add_option("--db", options->db, "Account database file");
  CLI::Option* connect =
      command->add_option("--connect", options->connect, "Connect string of the account database");
  db->excludes(connect);
  command->callback([options] {
    if (options->db.empty() == options->connect.empty()) {
      throw std::runtime_error("Name one database: --db PATH or --connect TEXT.");
    }
    RunTree(*options);
  });
  command->add_option("--user", options->user, "User ID")->required();
  command->add_option("--lang", options->language, "Language: chs, cht or en")
      ->check(CLI::IsMember({"chs", "cht", "en"}));
}

}  // namespace lxm::cli

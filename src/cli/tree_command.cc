#include <iostream>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "tree/account_setup.h"
#include "tree/cls_data_info.h"
#include "tree/tree_view.h"

namespace lxm::cli {

namespace {

struct TreeOptions {
  std::string db;
  int32_t user = 0;
  std::string language = "chs";
};

void RunTree(const TreeOptions& options) {
  std::string descriptor = MakeDescriptor(options.db, options.user, options.language);
  clsDataInfo data_info;
  std::shared_ptr<Dictionary> template_snapshot = data_info.GetTemplate(descriptor);
  std::shared_ptr<Dictionary> user_snapshot = data_info.GetUserData(descriptor);
  std::cout << RenderTree(BuildUserTree(*template_snapshot, *user_snapshot));
}

}  // namespace

void AddTreeCommand(CLI::App& app) {
  auto options = std::make_shared<TreeOptions>();
  CLI::App* command = app.add_subcommand("tree", "Print the function tree one user sees");
  command->add_option("--db", options->db, "Account database file")->required();
  command->add_option("--user", options->user, "User ID")->required();
  command->add_option("--lang", options->language, "Language: chs, cht or en")
      ->check(CLI::IsMember({"chs", "cht", "en"}));
  command->callback([options] { RunTree(*options); });
}

}  // namespace lxm::cli

// Subcommands of the lxmdataflow executable. Each registers itself on the
// CLI11 app and runs when chosen; failures print the error and exit 1.
#ifndef LXM_CLI_COMMANDS_H_
#define LXM_CLI_COMMANDS_H_

#include <CLI/CLI.hpp>

namespace lxm::cli {

void AddInitCommand(CLI::App& app);
void AddTreeCommand(CLI::App& app);
void AddServeCommand(CLI::App& app);
void AddCallCommand(CLI::App& app);

}  // namespace lxm::cli

#endif  // LXM_CLI_COMMANDS_H_

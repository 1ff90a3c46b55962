#include <iostream>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "platform/com_error.h"

int main(int argc, char** argv) {
  CLI::App app{"LXMDataFlow: the function tree service of the suite"};
  app.require_subcommand(1);
  lxm::cli::AddInitCommand(app);
  lxm::cli::AddTreeCommand(app);
  lxm::cli::AddServeCommand(app);
  lxm::cli::AddCallCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  } catch (const lxm::ComError& error) {
    std::cerr << "error " << error.number() << " (" << error.source() << "): "
              << error.description() << "\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << "error: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

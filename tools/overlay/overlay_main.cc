// dukon-overlay: the movie of one run, annotated for checking the analysis
// by eye. See usageText() for the options.
#include <iostream>
#include <string>
#include <vector>

#include "overlay/overlay_cli.h"
#include "overlay/overlay_run.h"

int main(int argc, char** argv) {
  using namespace dukon::overlay;
  CliResult cli = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (cli.action == CliAction::kHelp) {
    std::cout << usageText();
    return 0;
  }
  if (cli.action == CliAction::kError) {
    std::cerr << "dukon-overlay: " << cli.error << "\n(see dukon-overlay --help)\n";
    return 2;
  }
  return runOverlay(cli.options, std::cout, std::cerr);
}

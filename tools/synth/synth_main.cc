// dukon-synth: writes a synthetic worm movie with its stage log, ground
// truth and params.txt. See usageText() for the options.
#include <iostream>
#include <string>
#include <vector>

#include "base/fatal_error.h"
#include "synth/cli.h"
#include "synth/synth_movie.h"

int main(int argc, char** argv) {
  using namespace dukon::synth;
  std::vector<std::string> args(argv + 1, argv + argc);
  CliResult cli = parseCommandLine(args);
  if (cli.action == CliAction::kHelp) {
    std::cout << usageText();
    return 0;
  }
  if (cli.action == CliAction::kError) {
    std::cerr << "dukon-synth: " << cli.error << "\n(see dukon-synth --help)\n";
    return 2;
  }
  std::string problem = paramsDirProblem(cli.outDir, cli.config.movieName());
  if (!problem.empty()) {
    std::cerr << "dukon-synth: " << problem << '\n';
    return 2;
  }
  try {
    SynthMovie movie(cli.config);
    movie.writeFiles(cli.outDir);
    std::string dir = absoluteDir(cli.outDir);
    std::cout << "wrote " << movie.frameCount() << " frames: " << dir << cli.config.movieName()
              << ".avi\n"
              << "stage log " << dir << cli.config.movieName() << ".log.csv, ground truth " << dir
              << cli.config.movieName() << ".truth.csv, " << dir << "params.txt\n";
  } catch (const dukon::FatalError& e) {
    std::cerr << e.what();
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "dukon-synth: " << e.what() << '\n';
    return 1;
  }
  return 0;
}

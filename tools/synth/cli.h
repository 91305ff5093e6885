// Command line of dukon-synth: options into a SynthConfig.
#ifndef DUKON_SYNTH_CLI_H_
#define DUKON_SYNTH_CLI_H_

#include <string>
#include <vector>

#include "synth/synth_config.h"

namespace dukon {
namespace synth {

enum class CliAction { kRun, kHelp, kError };

struct CliResult {
  CliAction action = CliAction::kError;
  SynthConfig config;
  std::string outDir;
  std::string error;  // kError: one line for standard error
};

// Parses the arguments after the program name. Options take their value as
// the next argument or after '=' (--fps=25). The scenario's defaults are
// applied first, whatever the order of the options.
CliResult parseCommandLine(const std::vector<std::string>& args);

// The --help text: every option and every scenario.
std::string usageText();

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_CLI_H_

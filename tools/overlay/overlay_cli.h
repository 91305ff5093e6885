// Command line of dukon-overlay.
#ifndef DUKON_OVERLAY_OVERLAY_CLI_H_
#define DUKON_OVERLAY_OVERLAY_CLI_H_

#include <string>
#include <vector>

namespace dukon {
namespace overlay {

enum class OutputKind { kMp4, kWebm, kPng };

struct OverlayOptions {
  std::string runDir;  // the run's output folder OUTDIR/NAME
  std::string movie;   // empty: the movie the parameters copy names
  std::string name;    // empty: from the folder (findRunName)
  std::string out;     // empty: RUN_DIR/NAME-overlay.mp4, or NAME-overlay-N.png for a still
  OutputKind kind = OutputKind::kMp4;
  double scale = 1.0;  // canvas pixels per movie pixel
  int step = 1;        // every step-th frame from `from` on
  double fps = 0.0;    // output rate; 0: the run's rate / step (real time)
  int from = 0;        // first and last frame; 0: the run's first and last analysed frame
  int to = 0;
  int still = 0;  // > 0: write only this frame, as PNG
};

enum class CliAction { kRun, kHelp, kError };

struct CliResult {
  CliAction action = CliAction::kError;
  OverlayOptions options;
  std::string error;  // kError: one line for standard error
};

// Parses the arguments after the program name. Options take their value as
// the next argument or after '=' (--scale=0.5).
CliResult parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

}  // namespace overlay
}  // namespace dukon

#endif  // DUKON_OVERLAY_OVERLAY_CLI_H_

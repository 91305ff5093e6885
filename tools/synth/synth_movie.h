// SynthMovie: one synthetic worm movie with its ground truth.
//
// Construction runs the behaviour script, the kinematics and the stage, puts
// the world origin at the smallest logged stage position (so that the
// analyser's stage offsets equal the truth's) and pre-renders the plate.
// Frames are rendered on demand, each deterministic in (seed, index), so
// tests can look at any frame without writing a movie. writeFiles() writes
// the movie and its companions into a directory:
//   NAME.avi        640 x 480 colour (by default), MJPG or FFV1
//   NAME.log.csv    the stage log
//   NAME.truth.csv  one row per frame (truth_table.h)
//   params.txt      settings for the analyser, moviedir and outdir = that directory
#ifndef DUKON_SYNTH_SYNTH_MOVIE_H_
#define DUKON_SYNTH_SYNTH_MOVIE_H_

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/behaviour_script.h"
#include "synth/plate.h"
#include "synth/stage_follower.h"
#include "synth/synth_config.h"
#include "synth/truth_table.h"
#include "synth/worm_renderer.h"
#include "synth/worm_simulator.h"

namespace dukon {
namespace synth {

class SynthMovie {
 public:
  // `config` must pass validateConfig().
  explicit SynthMovie(const SynthConfig& config);

  const SynthConfig& config() const { return config_; }
  int frameCount() const { return static_cast<int>(truth_.size()); }
  const std::vector<TruthRow>& truth() const { return truth_; }

  // Frame `index` (0-based) as 8-bit BGR of the configured size.
  void renderFrame(int index, cv::Mat* bgr) const;
  // The same frame before the sensor noise and illumination falloff, grey.
  void renderClean(int index, cv::Mat* grey) const;

  // Writes the four files into `dir` (created if missing). `progress`, when
  // not null, is called after every written frame with the frame count so
  // far. Throws dukon::FatalError when a file cannot be written.
  void writeFiles(const std::string& dir, void (*progress)(int) = nullptr) const;

 private:
  void buildTruth();

  SynthConfig config_;
  BehaviourScript script_;
  Kinematics kin_;
  StageTrack stage_;
  std::unique_ptr<Plate> plate_;
  std::unique_ptr<WormRenderer> renderer_;
  cv::Mat falloff_;  // CV_16S, frame size: illumination falloff towards the corners
  std::vector<TruthRow> truth_;
};

// Absolute form of `dir` with a trailing '/', as params.txt names it.
std::string absoluteDir(const std::string& dir);

// Empty when `dir` can be named in params.txt (no white space, short enough
// for the analyser's 260-character paths with `name`), else the reason.
std::string paramsDirProblem(const std::string& dir, const std::string& name);

// The params.txt text for a movie of `config` in directory `absDir`.
std::string paramsText(const SynthConfig& config, const std::string& absDir);

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_SYNTH_MOVIE_H_

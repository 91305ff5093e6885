// SynthConfig: every number that shapes one synthetic movie.
//
// A config starts from a scenario's defaults (scenarioConfig) and may then be
// changed field by field (the command line does this). validateConfig() says
// whether the numbers make a movie that can be rendered; every later stage
// assumes a validated config.
#ifndef DUKON_SYNTH_SYNTH_CONFIG_H_
#define DUKON_SYNTH_SYNTH_CONFIG_H_

#include <cstdint>
#include <string>
#include <vector>

namespace dukon {
namespace synth {

enum class Codec { kMjpg, kFfv1 };

struct SynthConfig {
  std::string scenario = "forward";
  std::string name;  // movie name (file stem); empty means the scenario name
  double seconds = 20.0;
  double fps = 30.0;
  uint64_t seed = 1;
  Codec codec = Codec::kMjpg;
  int width = 640;  // frame size, pixels
  int height = 480;

  int mmpix = 280;         // pixels per millimetre, frame and stage alike
  double lengthMm = 1.0;   // worm length
  double widthMm = 0.08;   // largest body width
  double speedMmS = 0.25;  // forward crawling speed
  double backSpeedMmS = 0.25;
  double freqHz = 0.4;     // body-wave frequency at speedMmS; wavelength = speed / freq
  double bendDeg = 45.0;   // amplitude of the head's heading oscillation
  double boutS = -1.0;     // length of each backward, pause or coil bout; < 0: scenario default
  int eggCount = -1;       // eggs to lay; < 0: scenario default
  int eggDetect = -1;      // `eggs` written to params.txt; < 0: scenario default
  bool trackCorr = false;  // params.txt says track = corr instead of stage
  // Grey levels inverted: a bright worm on a dark plate, and params.txt says
  // polarity = bright.
  bool brightWorm = false;
  double noise = 2.0;  // sensor noise, standard deviation in grey levels
  // Drift of the worm's middle from the frame centre that makes the stage
  // move; the stage also moves when the body comes near the frame border.
  double recentrePx = 100.0;
  // Scenario posture: the tangent angles, head to tail (radians), of the
  // shape the still worm holds (--posture-angles FILE); empty otherwise.
  std::vector<double> postureRad;

  std::string movieName() const { return name.empty() ? scenario : name; }
  double lengthPx() const { return lengthMm * mmpix; }
  double radiusPx() const { return 0.5 * widthMm * mmpix; }
  double speedPxS() const { return speedMmS * mmpix; }
  double backSpeedPxS() const { return backSpeedMmS * mmpix; }
  double wavelengthPx() const { return speedPxS() / freqHz; }
  int frameCount() const;  // frames of `seconds` at `fps`, at least 1
};

// Names accepted by scenarioConfig, in the order --help lists them.
const std::vector<std::string>& scenarioNames();
// One line describing the scenario, for --help; empty for an unknown name.
std::string scenarioSummary(const std::string& name);

// Defaults of scenario `name`. Returns false (and leaves `config` alone) for
// an unknown name.
bool scenarioConfig(const std::string& name, SynthConfig* config);

// Empty when `config` can be rendered, otherwise a one-line reason.
std::string validateConfig(const SynthConfig& config);

// Resolved scenario numbers: boutS, eggCount and eggDetect with the scenario
// defaults filled in (scaled to `seconds` where the default is a share of
// the scenario's length).
double effectiveBoutS(const SynthConfig& config);
int effectiveEggCount(const SynthConfig& config);
bool effectiveEggDetect(const SynthConfig& config);

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_SYNTH_CONFIG_H_

#include "synth/synth_config.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace dukon {
namespace synth {
namespace {

struct ScenarioInfo {
  const char* name;
  const char* summary;
  double seconds;
};

// Short scenarios stay at 20 s so that the test suite stays fast.
const ScenarioInfo kScenarios[] = {
    {"forward", "forward crawling with a travelling body wave", 20.0},
    {"reversals", "three backward bouts separated by forward crawling", 20.0},
    {"pauses", "three pauses separated by forward crawling", 20.0},
    {"omega", "forward crawling with one omega turn", 20.0},
    {"coil", "forward crawling with one coil (the body touches itself)", 20.0},
    {"eggs", "forward crawling, four eggs laid; eggs = 1", 20.0},
    {"imagemotion", "like forward, tracked by image motion (track = corr)", 20.0},
    {"long", "five minutes of mixed behaviour, for benchmarks", 300.0},
    {"posture", "a still worm holding the shape of --posture-angles FILE", 20.0},
};

const ScenarioInfo* findScenario(const std::string& name) {
  for (const ScenarioInfo& s : kScenarios) {
    if (name == s.name) return &s;
  }
  return nullptr;
}

bool validName(const std::string& name) {
  if (name.empty() || name.size() > 100 || name[0] == '.' || name[0] == '-') return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

// Default bout length of a scenario at its default duration, seconds.
double defaultBoutS(const std::string& scenario) {
  return scenario == "pauses" ? 2.5 : 3.0;
}

}  // namespace

int SynthConfig::frameCount() const {
  return std::max(1, static_cast<int>(std::lround(seconds * fps)));
}

const std::vector<std::string>& scenarioNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const ScenarioInfo& s : kScenarios) v.push_back(s.name);
    return v;
  }();
  return names;
}

std::string scenarioSummary(const std::string& name) {
  const ScenarioInfo* s = findScenario(name);
  return s ? s->summary : "";
}

bool scenarioConfig(const std::string& name, SynthConfig* config) {
  const ScenarioInfo* s = findScenario(name);
  if (s == nullptr) return false;
  *config = SynthConfig();
  config->scenario = name;
  config->seconds = s->seconds;
  config->trackCorr = (name == "imagemotion");
  return true;
}

double effectiveBoutS(const SynthConfig& config) {
  if (config.boutS >= 0.0) return config.boutS;
  const ScenarioInfo* s = findScenario(config.scenario);
  double base = s ? s->seconds : 20.0;
  // The bouts keep their share of the movie when --seconds changes it.
  return defaultBoutS(config.scenario) * std::min(1.0, config.seconds / base);
}

int effectiveEggCount(const SynthConfig& config) {
  if (config.eggCount >= 0) return config.eggCount;
  if (config.scenario == "eggs") return 4;
  if (config.scenario == "long") return static_cast<int>(config.seconds / 40.0);
  return 0;
}

bool effectiveEggDetect(const SynthConfig& config) {
  if (config.eggDetect >= 0) return config.eggDetect != 0;
  return config.scenario == "eggs";
}

std::string validateConfig(const SynthConfig& c) {
  std::ostringstream why;
  double minSide = std::min(c.width, c.height);
  if (findScenario(c.scenario) == nullptr) {
    why << "unknown scenario '" << c.scenario << "'";
  } else if (!validName(c.movieName())) {
    why << "movie name must be letters, digits, '_', '-' or '.', not starting with '.' or '-'";
  } else if (!(c.seconds > 0.0 && c.seconds <= 4 * 3600.0)) {
    why << "--seconds must be in (0, 14400]";
  } else if (!(c.fps >= 1.0 && c.fps <= 200.0)) {
    why << "--fps must be in [1, 200]";
  } else if (c.width < 64 || c.height < 64 || c.width > 4096 || c.height > 4096) {
    why << "--width and --height must be in [64, 4096]";
  } else if (c.mmpix < 20 || c.mmpix > 2000) {
    why << "--mmpix must be in [20, 2000]";
  } else if (!(c.lengthPx() >= 40.0 && c.lengthPx() <= minSide)) {
    why << "worm length must be 40 pixels at least and fit the frame's smaller side";
  } else if (!(c.radiusPx() >= 1.0 && c.radiusPx() <= c.lengthPx() / 8.0)) {
    why << "worm width must be 2 pixels at least and at most a quarter of its length";
  } else if (!(c.speedMmS > 0.0 && c.speedMmS <= 2.0 && c.backSpeedMmS > 0.0 &&
               c.backSpeedMmS <= 2.0)) {
    why << "speeds must be in (0, 2] mm/s";
  } else if (!(c.freqHz > 0.0 && c.freqHz <= 5.0)) {
    why << "--freq-hz must be in (0, 5]";
  } else if (c.wavelengthPx() < 0.2 * c.lengthPx()) {
    why << "speed / frequency gives a wavelength below a fifth of the body length";
  } else if (!(c.bendDeg >= 0.0 && c.bendDeg <= 70.0)) {
    why << "--bend-deg must be in [0, 70]";
  } else if (!(c.noise >= 0.0 && c.noise <= 30.0)) {
    why << "--noise must be in [0, 30]";
  } else if (!(c.recentrePx >= 10.0 && c.recentrePx <= 100000.0)) {
    why << "--recentre-px must be 10 at least";
  } else if (c.boutS >= 0.0 && !(c.boutS > 0.0 && 3.0 * c.boutS < 0.9 * c.seconds)) {
    why << "--bout-s must be positive and three bouts must fit in the movie";
  } else if ((c.scenario == "posture") != !c.postureRad.empty()) {
    why << (c.postureRad.empty() ? "--scenario posture needs --posture-angles FILE"
                                 : "--posture-angles is only for --scenario posture");
  } else if (c.eggCount > 0 && c.seconds / (c.eggCount + 1) < 0.5) {
    // One truth row carries one egg event: eggs must be laid apart.
    why << "--eggs: at most one egg per half second of movie";
  }
  return why.str();
}

}  // namespace synth
}  // namespace dukon

#include "synth/cli.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

#include "synth/posture.h"

namespace dukon {
namespace synth {
namespace {

struct Option {
  const char* name;
  const char* arg;
  const char* help;
};

const Option kOptions[] = {
    {"--scenario", "NAME", "scenario to render (default forward; see below)"},
    {"--out", "DIR", "directory for the movie, its stage log, truth and params.txt (required)"},
    {"--name", "MOVIENAME", "movie name, the stem of every file (default: the scenario name)"},
    {"--seconds", "S", "movie length in seconds (scenario default: 20, long: 300)"},
    {"--fps", "F", "frames per second (default 30)"},
    {"--seed", "N", "random seed; a fixed seed gives identical files (default 1)"},
    {"--codec", "mjpg|ffv1", "MJPG (default) or lossless FFV1"},
    {"--width", "W", "frame width in pixels (default 640)"},
    {"--height", "H", "frame height in pixels (default 480)"},
    {"--mmpix", "P", "pixels per millimetre, frame and stage (default 280)"},
    {"--length-mm", "L", "worm length in mm (default 1.0)"},
    {"--width-mm", "D", "worm width in mm (default 0.08)"},
    {"--speed-mm-s", "V", "forward crawling speed in mm/s (default 0.25)"},
    {"--back-speed-mm-s", "V", "backward crawling speed in mm/s (default 0.25)"},
    {"--freq-hz", "F", "body-wave frequency in Hz at the forward speed (default 0.4)"},
    {"--bend-deg", "A", "amplitude of the head's heading oscillation in degrees (default 45)"},
    {"--bout-s", "S", "length of each backward, pause or coil bout (default 3, pauses 2.5)"},
    {"--eggs", "N", "number of eggs to lay (eggs: 4, long: one per 40 s, others 0)"},
    {"--egg-detect", "0|1", "value of `eggs` in params.txt (default 1 for eggs, else 0)"},
    {"--track", "stage|corr", "value of `track` in params.txt (imagemotion: corr)"},
    {"--polarity", "dark|bright",
     "bright: grey levels inverted, a bright worm on a dark plate (default dark)"},
    {"--noise", "SD", "sensor noise in grey levels (default 2)"},
    {"--recentre-px", "D", "drift of the worm's middle that moves the stage (default 100)"},
    {"--posture-angles", "FILE",
     "posture: tangent angles head to tail, radians, one or more a line"},
    {"--help", "", "show this text"},
};

bool parseDouble(const std::string& s, double* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double d = std::strtod(s.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || d != d) return false;
  *v = d;
  return true;
}

bool parseInt(const std::string& s, long long lo, long long hi, long long* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long n = std::strtoll(s.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || n < lo || n > hi) return false;
  *v = n;
  return true;
}

// Applies one option with its value; returns an error text or "".
std::string apply(const std::string& opt, const std::string& val, CliResult* r) {
  SynthConfig& c = r->config;
  double d = 0;
  long long n = 0;
  auto bad = [&] { return "bad value '" + val + "' for " + opt; };
  if (opt == "--scenario") return "";  // applied before everything else
  if (opt == "--out") return val.empty() ? bad() : (r->outDir = val, "");
  if (opt == "--name") return (c.name = val, "");
  if (opt == "--codec") {
    if (val == "mjpg") return (c.codec = Codec::kMjpg, "");
    if (val == "ffv1") return (c.codec = Codec::kFfv1, "");
    return bad();
  }
  if (opt == "--track") {
    if (val == "stage" || val == "corr") return (c.trackCorr = val == "corr", "");
    return bad();
  }
  if (opt == "--polarity") {
    if (val == "dark" || val == "bright") return (c.brightWorm = val == "bright", "");
    return bad();
  }
  if (opt == "--posture-angles") return readPostureAngles(val, &c.postureRad);
  if (opt == "--seed") {
    if (!parseInt(val, 0, LLONG_MAX, &n)) return bad();
    return (c.seed = static_cast<uint64_t>(n), "");
  }
  struct IntField {
    const char* name;
    int* field;
  };
  const IntField ints[] = {{"--width", &c.width},
                           {"--height", &c.height},
                           {"--mmpix", &c.mmpix},
                           {"--eggs", &c.eggCount},
                           {"--egg-detect", &c.eggDetect}};
  for (const IntField& f : ints) {
    if (opt != f.name) continue;
    if (!parseInt(val, 0, 1000000, &n)) return bad();
    if (opt == "--egg-detect" && n > 1) return bad();
    return (*f.field = static_cast<int>(n), "");
  }
  struct RealField {
    const char* name;
    double* field;
  };
  const RealField reals[] = {
      {"--seconds", &c.seconds},       {"--fps", &c.fps},
      {"--length-mm", &c.lengthMm},    {"--width-mm", &c.widthMm},
      {"--speed-mm-s", &c.speedMmS},   {"--back-speed-mm-s", &c.backSpeedMmS},
      {"--freq-hz", &c.freqHz},        {"--bend-deg", &c.bendDeg},
      {"--bout-s", &c.boutS},          {"--noise", &c.noise},
      {"--recentre-px", &c.recentrePx}};
  for (const RealField& f : reals) {
    if (opt != f.name) continue;
    if (!parseDouble(val, &d)) return bad();
    if (opt == "--bout-s" && d <= 0) return bad();
    return (*f.field = d, "");
  }
  return "unknown option " + opt;
}

bool knownOption(const std::string& name) {
  for (const Option& o : kOptions) {
    if (name == o.name) return true;
  }
  return false;
}

// Splits the arguments into (option, value) pairs; "" on success.
std::string pairs(const std::vector<std::string>& args,
                  std::vector<std::pair<std::string, std::string>>* out, bool* help) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      *help = true;
      continue;
    }
    size_t eq = a.find('=');
    std::string opt = a.substr(0, eq);
    if (opt.rfind("--", 0) != 0 || !knownOption(opt)) return "unknown option " + a;
    if (eq != std::string::npos) {
      out->emplace_back(opt, a.substr(eq + 1));
    } else if (i + 1 < args.size()) {
      out->emplace_back(opt, args[++i]);
    } else {
      return "missing value for " + opt;
    }
  }
  return "";
}

}  // namespace

CliResult parseCommandLine(const std::vector<std::string>& args) {
  CliResult r;
  bool help = false;
  std::vector<std::pair<std::string, std::string>> opts;
  r.error = pairs(args, &opts, &help);
  if (!r.error.empty()) return r;
  if (help) {
    r.action = CliAction::kHelp;
    return r;
  }
  std::string scenario = "forward";
  for (const auto& o : opts) {
    if (o.first == "--scenario") scenario = o.second;
  }
  if (!scenarioConfig(scenario, &r.config)) {
    r.error = "unknown scenario '" + scenario + "'";
    return r;
  }
  for (const auto& o : opts) {
    r.error = apply(o.first, o.second, &r);
    if (!r.error.empty()) return r;
  }
  if (r.outDir.empty()) {
    r.error = "--out DIR is required";
    return r;
  }
  r.error = validateConfig(r.config);
  if (r.error.empty()) r.action = CliAction::kRun;
  return r;
}

std::string usageText() {
  std::ostringstream os;
  os << "Usage: dukon-synth --scenario NAME --out DIR [options]\n\n"
     << "Renders a synthetic movie of one crawling worm with known answers: DIR/NAME.avi,\n"
     << "the stage log DIR/NAME.log.csv, the per-frame ground truth DIR/NAME.truth.csv and\n"
     << "DIR/params.txt for the analyser (run it in DIR).\n\nOptions:\n";
  for (const Option& o : kOptions) {
    std::string left = std::string("  ") + o.name + (o.arg[0] ? std::string(" ") + o.arg : "");
    os << left << std::string(left.size() < 30 ? 30 - left.size() : 1, ' ') << o.help << '\n';
  }
  os << "\nScenarios:\n";
  for (const std::string& s : scenarioNames()) {
    std::string left = "  " + s;
    os << left << std::string(16 - left.size(), ' ') << scenarioSummary(s) << '\n';
  }
  os << "\nExit status: 0 done, 1 a file could not be written, 2 bad options.\n";
  return os.str();
}

}  // namespace synth
}  // namespace dukon

#include "overlay/overlay_cli.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace dukon {
namespace overlay {
namespace {

struct Option {
  const char* name;
  const char* arg;
  const char* help;
};

const Option kOptions[] = {
    {"--out", "FILE",
     "output: .mp4 (H.264; default RUN_DIR/NAME-overlay.mp4) or .webm (VP9,\n"
     "much slower to encode); with --still a .png (default RUN_DIR/NAME-overlay-N.png)"},
    {"--scale", "S", "size relative to the movie frame, 0.1 to 4 (default 1)"},
    {"--step", "N", "annotate every N-th frame only (default 1: every frame)"},
    {"--fps", "F", "frame rate of the output (default: the run's rate / step, i.e. real time)"},
    {"--from", "N", "first frame (default: the run's first analysed frame)"},
    {"--to", "N", "last frame (default: the run's last analysed frame)"},
    {"--still", "N", "write frame N alone as a PNG picture instead of a movie"},
    {"--name", "NAME", "movie name, if it differs from the folder's name"},
    {"--help", "", "show this text"},
};

bool endsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool parseReal(const std::string& s, double lo, double hi, double* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double d = std::strtod(s.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || !(d >= lo && d <= hi)) return false;
  *v = d;
  return true;
}

bool parseCount(const std::string& s, long lo, long hi, int* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || n < lo || n > hi) return false;
  *v = static_cast<int>(n);
  return true;
}

bool knownOption(const std::string& name) {
  for (const Option& o : kOptions) {
    if (name == o.name && o.arg[0]) return true;
  }
  return false;
}

// Applies one option; returns an error text or "".
std::string apply(const std::string& opt, const std::string& val, OverlayOptions* o) {
  const std::string bad = "bad value '" + val + "' for " + opt;
  const long kMaxFrame = 100000000;
  bool ok = true;
  if (opt == "--out") {
    ok = !val.empty();
    o->out = val;
  } else if (opt == "--name") {
    ok = !val.empty();
    o->name = val;
  } else if (opt == "--scale") {
    ok = parseReal(val, 0.1, 4.0, &o->scale);
  } else if (opt == "--step") {
    ok = parseCount(val, 1, kMaxFrame, &o->step);
  } else if (opt == "--fps") {
    ok = parseReal(val, 0.1, 1000.0, &o->fps);
  } else if (opt == "--from") {
    ok = parseCount(val, 1, kMaxFrame, &o->from);
  } else if (opt == "--to") {
    ok = parseCount(val, 1, kMaxFrame, &o->to);
  } else if (opt == "--still") {
    ok = parseCount(val, 1, kMaxFrame, &o->still);
  }
  return ok ? "" : bad;
}

// The output kind from --out's extension; "" or an error text.
std::string outputKind(OverlayOptions* o) {
  if (o->still) {
    o->kind = OutputKind::kPng;
    if (!o->out.empty() && !endsWith(o->out, ".png")) return "--still writes a .png file";
    return "";
  }
  if (o->out.empty() || endsWith(o->out, ".mp4")) {
    o->kind = OutputKind::kMp4;
  } else if (endsWith(o->out, ".webm")) {
    o->kind = OutputKind::kWebm;
  } else {
    return "--out must end in .mp4 or .webm";
  }
  return "";
}

}  // namespace

CliResult parseCommandLine(const std::vector<std::string>& args) {
  CliResult r;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      r.action = CliAction::kHelp;
      return r;
    }
    if (a.rfind("--", 0) != 0) {
      positional.push_back(a);
      continue;
    }
    size_t eq = a.find('=');
    std::string opt = a.substr(0, eq);
    if (!knownOption(opt)) {
      r.error = "unknown option " + a;
      return r;
    }
    std::string val;
    if (eq != std::string::npos) {
      val = a.substr(eq + 1);
    } else if (i + 1 < args.size()) {
      val = args[++i];
    } else {
      r.error = "missing value for " + opt;
      return r;
    }
    r.error = apply(opt, val, &r.options);
    if (!r.error.empty()) return r;
  }
  if (positional.empty() || positional.size() > 2) {
    r.error = positional.empty() ? "RUN_DIR is required" : "too many arguments";
    return r;
  }
  r.options.runDir = positional[0];
  if (positional.size() == 2) r.options.movie = positional[1];
  if (r.options.from && r.options.to && r.options.from > r.options.to) {
    r.error = "--from is after --to";
    return r;
  }
  r.error = outputKind(&r.options);
  if (r.error.empty()) r.action = CliAction::kRun;
  return r;
}

std::string usageText() {
  std::ostringstream os;
  os << "Usage: dukon-overlay RUN_DIR [MOVIE.avi] [options]\n\n"
     << "Writes the movie of a run with every frame annotated, for checking the analysis by\n"
     << "eye: the skeleton chain, a red disc on the head (H) and a blue disc on the tail (T),\n"
     << "the frame's state, its movement class, the frame number and movie time, and a\n"
     << "scale bar. RUN_DIR is the run's output folder (OUTDIR/NAME); it must hold\n"
     << "NAME-wxd.txt, NAME-skel.csv and NAME-params.txt. MOVIE defaults to the movie the\n"
     << "parameters copy names.\n\n"
     << "States: consistent (valid skeleton, used for features, green chain), good (valid\n"
     << "skeleton whose length or position is off the movie's median, amber chain), loop\n"
     << "(the body touches itself, violet chain), rejected (the skeleton failed validation:\n"
     << "no chain), ignored (listed in ignorefrm). In frames that are good but not\n"
     << "consistent the head mark is the chain's first point.\n\nOptions:\n";
  for (const Option& o : kOptions) {
    std::string left = std::string("  ") + o.name + (o.arg[0] ? std::string(" ") + o.arg : "");
    std::string help = o.help;
    for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1)) {
      help.insert(at + 1, 16, ' ');  // continuation lines under the first
    }
    os << left << std::string(left.size() < 16 ? 16 - left.size() : 1, ' ') << help << '\n';
  }
  os << "\nExit status: 0 done; 1 bad input (a run file missing or malformed, a movie that\n"
     << "cannot be read or does not fit the run, an output that cannot be written); 2 bad\n"
     << "options.\n";
  return os.str();
}

}  // namespace overlay
}  // namespace dukon

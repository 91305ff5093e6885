#include "output/check_file.h"

#include <cmath>
#include <cstdio>

namespace dukon {

namespace {

// Two decimals, with a sign; a value that rounds to zero is "0.00".
std::string signedFixed(double v) {
  char buf[32];
  if (std::fabs(v) < 0.005) return "0.00";
  std::snprintf(buf, sizeof buf, "%+.2f", v);
  return buf;
}

std::string fixed(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", std::fabs(v) < 0.005 ? 0.0 : v);
  return buf;
}

// Brightness evidence from which on it is worth naming, as the warning's hint.
constexpr double kClearBrightness = 0.3;

std::string cues(const HeadEvidence& e) {
  return "brightness " + signedFixed(e.brightness) + ", head swing " + signedFixed(e.swing) +
         ", body wave " + signedFixed(e.wave) + ", travel " + signedFixed(e.travel);
}

}  // namespace

void writeChecks(std::ostream& os, const std::vector<HeadCheck>& checks) {
  os << "check,first_frame,last_frame,frames,seconds,brightness,head_swing,body_wave,travel,"
        "evidence\n";
  for (const HeadCheck& c : checks) {
    const HeadEvidence& e = c.against;
    os << "head," << c.firstFrame << "," << c.lastFrame << "," << c.frames << ","
       << fixed(c.seconds) << "," << fixed(e.brightness) << "," << fixed(e.swing) << ","
       << fixed(e.wave) << "," << fixed(e.travel) << "," << fixed(e.total()) << "\n";
  }
}

std::string headCheckWarning(const HeadCheck& c, const std::string& checkFile) {
  const HeadEvidence& e = c.against;
  // Brightness for the head written and everything else against it is what
  // a bright worm analysed as a dark one looks like.
  const bool inverted = e.brightness >= kClearBrightness && e.total() - e.brightness < 0;
  return "Warning: head and tail may be swapped in frames " + std::to_string(c.firstFrame) + "-" +
         std::to_string(c.lastFrame) + " (" + fixed(c.seconds) + " s, " + std::to_string(c.frames) +
         " consistent frames): the evidence for the head written is " + cues(e) + ", total " +
         signedFixed(e.total()) + "; headmode = combined in params.txt orients by all of it" +
         (inverted ? ", and polarity = bright inverts a worm brighter than its plate" : "") +
         " (listed in " + checkFile + ")\n";
}

std::string runEvidenceLine(const RunJudgement& run, const std::vector<SkelRecord>& records) {
  int first = -1, last = -1, consistent = 0;
  for (const RunMember& m : run.run.members) {
    const SkelRecord& r = records[m.index];
    if (first < 0) first = r.frame;
    last = r.frame;
    consistent += r.consistent ? 1 : 0;
  }
  const double side = run.headEnd < 0 ? -1.0 : 1.0;
  HeadEvidence e = run.evidence;
  e.brightness *= side;
  e.swing *= side;
  e.wave *= side;
  e.travel *= side;
  const char* how = run.headEnd == 0 ? "no decision" : run.clear ? "clear" : "weak";
  return "head evidence, frames " + std::to_string(first) + "-" + std::to_string(last) + " (" +
         std::to_string(consistent) + " consistent): " + cues(e) + ", total " +
         signedFixed(e.total()) + " (" + how + ")\n";
}

}  // namespace dukon

#include "output/behaviour_report.h"

#include <cmath>

namespace dukon {

namespace {

// Writes num / den * scale, or "n/a" when the quotient is not a finite
// number (a zero, negative-zero or undefined denominator).
void putQuotient(std::ostream& os, double num, double den, double scale = 1.0) {
  const double q = num / den * scale;
  if (den == 0 || !std::isfinite(q))
    os << "n/a";
  else
    os << q;
}

void writeSegmentLine(std::ostream& wxs, const MvVec& m, int omegaFrame,
                      const std::vector<SkelRecord>& records) {
  wxs << records[m.start()].frame << "-" << records[m.end()].frame << ": ";
  if (m.loop()) {
    wxs << "loop\n";
    return;
  }
  if (m.reversal()) wxs << "reversal ";
  if (m.direction() == 1) wxs << "forward ";
  if (m.direction() == -1) wxs << "backward ";
  if (m.turn()) {
    wxs << "omega (@#";
    if (omegaFrame < 0)
      wxs << "n/a";
    else
      wxs << omegaFrame;
    wxs << ") ";
  }
  if (m.pause())
    wxs << "pause";
  else
    wxs << "distance of " << m.distance() << " at angle " << m.angle() << " at speed " << m.speed();
  wxs << "\n";
}

// The line of the movement segmentation: how many segments the merge left.
void writeReduction(std::ostream& wxs, size_t before, size_t after) {
  wxs << "Movements compressed from " << before << " elements to " << after
      << " elements (reduction of ";
  if (before == 0)
    wxs << "n/a";
  else
    wxs << static_cast<double>(before - after) / static_cast<double>(before) * 100.0;
  wxs << "%)\n\n";
}

void putRate(std::ostream& wxs, const char* label, int count, const BehaviourSummary& s) {
  wxs << label;
  putQuotient(wxs, count, s.minutes);
  wxs << " per minute (" << count << " total)\n";
}

void putShare(std::ostream& wxs, const char* label, int frames, const BehaviourSummary& s) {
  wxs << label;
  putQuotient(wxs, frames, s.totalFrames, 100.0);
  wxs << "% (" << frames << " frames)\n";
}

void putSpeed(std::ostream& wxs, const char* label, int frames, double speed) {
  wxs << label;
  if (frames < 1)
    wxs << "n/a";
  else
    wxs << speed;
  wxs << "\n";
}

void putProportion(std::ostream& wxs, const char* label, int frames, double distance,
                   const BehaviourSummary& s) {
  wxs << label;
  putQuotient(wxs, frames, s.movFrames, 100.0);
  wxs << "% of movement, ";
  putQuotient(wxs, distance, s.movDistance, 100.0);
  wxs << "% of distance moved\n";
}

void writeSummary(std::ostream& wxs, const BehaviourSummary& s) {
  wxs << "\n";
  putRate(wxs, "pause rate: ", s.pauseCount, s);
  putShare(wxs, "% time in pause:  ", s.pauseFrames, s);
  putRate(wxs, "omega rate: ", s.omegaCount, s);
  putShare(wxs, "% time in omega:  ", s.omegaFrames, s);
  putRate(wxs, "loop rate: ", s.loopCount, s);
  putShare(wxs, "% time in loop:  ", s.loopFrames, s);
  wxs << "\n";
  wxs << "% time moving forward:  ";
  putQuotient(wxs, s.fwdFrames, s.totalFrames, 100.0);
  wxs << "%\n";
  wxs << "% time moving backward: ";
  putQuotient(wxs, s.bwdFrames, s.totalFrames, 100.0);
  wxs << "%\n";
  putSpeed(wxs, "average fwd/bwd speed: ", s.movFrames, s.movSpeed);
  putSpeed(wxs, "average forward speed (excl. omega):  ", s.fwdFrames, s.fwdSpeed);
  putSpeed(wxs, "average backward speed (excl. omega): ", s.bwdFrames, s.bwdSpeed);
  putRate(wxs, "reversals rate: ", s.reversalCount, s);
  if (s.movFrames > 0) {
    putProportion(wxs, "forward is ", s.fwdFrames, s.fwdDistance, s);
    putProportion(wxs, "backward is ", s.bwdFrames, s.bwdDistance, s);
  }
  wxs << "\n";
  wxs << "distance from start point to end point: ";
  if (s.havePath)
    wxs << s.pathDistance;
  else
    wxs << "n/a";
  wxs << "\n";
  wxs << "accumulated distance (sum of non-pause move segments): " << s.movDistance << "\n";
  wxs << "roam ratio (0-1): ";
  const double roam = 1.0 - s.pathDistance / s.movDistance;
  if (s.havePath && s.movDistance != 0 && std::isfinite(roam))
    wxs << roam;
  else
    wxs << "n/a";
  wxs << "\n";
}

}  // namespace

void writeBehaviourReport(std::ostream& wxs, size_t cutCount, const Classification& c,
                          const std::vector<SkelRecord>& records) {
  writeReduction(wxs, cutCount, c.segments.size());
  const int n = static_cast<int>(records.size());
  for (size_t k = 0; k < c.segments.size(); ++k) {
    if (!spansRecords(c.segments[k], n)) continue;
    writeSegmentLine(wxs, c.segments[k], c.omegaFrames[k], records);
  }
  writeSummary(wxs, c.summary);
}

}  // namespace dukon

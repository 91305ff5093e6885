#include "behaviour/behaviour.h"

#include <algorithm>
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

// Frame number of the first record of the turn segment that passes the turn
// test; -1 when none does (the flag then came from a record beyond the
// segment's last usable record).
int omegaFrame(const MvVec& m, const std::vector<SkelRecord>& records) {
  const int n = static_cast<int>(records.size());
  for (int i = m.start(); i <= m.end() && i < n; ++i)
    if (isTurnRecord(records[i])) return records[i].frame;
  return -1;
}

void writeSegmentLine(std::ostream& wxs, const MvVec& m, const std::vector<SkelRecord>& records) {
  wxs << records[m.start()].frame << "-" << records[m.end()].frame << ": ";
  if (m.loop()) {
    wxs << "loop\n";
    return;
  }
  if (m.reversal()) wxs << "reversal ";
  if (m.direction() == 1) wxs << "forward ";
  if (m.direction() == -1) wxs << "backward ";
  if (m.turn()) {
    const int f = omegaFrame(m, records);
    wxs << "omega (@#";
    if (f < 0)
      wxs << "n/a";
    else
      wxs << f;
    wxs << ") ";
  }
  if (m.pause())
    wxs << "pause";
  else
    wxs << "distance of " << m.distance() << " at angle " << m.angle() << " at speed " << m.speed();
  wxs << "\n";
}

// Adds one classified segment to the counters. `lastDirection` is the
// direction of the latest moving segment that was neither a pause nor a turn.
void countSegment(MvVec& m, int k, int frames, int& lastDirection, BehaviourSummary& s) {
  if (m.loop()) {
    ++s.loopCount;
    s.loopFrames += frames;
    return;
  }
  if (k > 0 && lastDirection == 1 && m.direction() == -1) {
    ++s.reversalCount;
    m.setReversal(true);
  }
  if (!m.turn() && !m.pause()) lastDirection = m.direction();
  if (m.turn()) {
    ++s.omegaCount;
    s.omegaFrames += frames;
    s.omegaDistance += m.distance();
  }
  if (!m.pause() && !m.turn()) {
    s.movFrames += frames;
    s.movDistance += m.distance();
    if (m.direction() == 1) {
      s.fwdFrames += frames;
      s.fwdDistance += m.distance();
    } else if (m.direction() == -1) {
      s.bwdFrames += frames;
      s.bwdDistance += m.distance();
    }
  }
  if (m.pause()) {
    ++s.pauseCount;
    s.pauseFrames += frames;
  }
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

int firstTrustedRecord(const std::vector<SkelRecord>& records) {
  const int n = static_cast<int>(records.size());
  for (int i = 0; i < n; ++i)
    if (records[i].trusted()) return i;
  return -1;
}

int lastTrustedRecord(const std::vector<SkelRecord>& records) {
  const int n = static_cast<int>(records.size());
  for (int i = n - 1; i >= 1; --i)
    if (records[i].trusted()) return i;
  return -1;
}

MovementCode movementCode(const MvVec& m) {
  MovementCode code = MovementCode::kForward;
  if (m.direction() == -1) code = MovementCode::kBackward;
  if (m.pause()) code = MovementCode::kPause;
  if (m.turn()) code = MovementCode::kOmega;
  if (m.loop()) code = MovementCode::kLoop;
  return code;
}

void labelRecords(const std::vector<MvVec>& movements, std::vector<SkelRecord>& records) {
  const int n = static_cast<int>(records.size());
  for (size_t k = 0; k < movements.size(); ++k) {
    const MvVec& m = movements[k];
    const MovementCode code = movementCode(m);
    int stop = m.end();  // exclusive unless the next segment leaves a gap
    if (k + 1 < movements.size() && movements[k + 1].start() > m.end()) stop = m.end() + 1;
    for (int i = std::max(0, m.start()); i < stop && i < n; ++i) records[i].mv = code;
    if (m.reversal() && m.start() >= 0 && m.start() < n) records[m.start()].reversal = true;
  }
}

BehaviourSummary classifyBehaviour(std::vector<MvVec> movements, std::vector<SkelRecord>& records,
                                   std::ostream& wxs, const MovementSettings& settings) {
  const int n = static_cast<int>(records.size());
  BehaviourSummary s;
  int lastDirection = 0;
  int firstFrame = 0, lastFrame = 0;
  for (size_t k = 0; k < movements.size(); ++k) {
    MvVec& m = movements[k];
    if (m.start() < 0 || m.end() < m.start() || m.end() >= n) continue;  // not from these records
    const int startFrame = records[m.start()].frame;
    const int endFrame = records[m.end()].frame;
    if (!s.haveSpan) firstFrame = startFrame;
    s.haveSpan = true;
    lastFrame = endFrame;
    const int frames = endFrame - startFrame;
    s.totalFrames += frames;
    countSegment(m, static_cast<int>(k), frames, lastDirection, s);
    writeSegmentLine(wxs, m, records);
  }
  s.movSpeed = MvVec::speedOf(s.movDistance, s.movFrames, settings);
  s.fwdSpeed = MvVec::speedOf(s.fwdDistance, s.fwdFrames, settings);
  s.bwdSpeed = MvVec::speedOf(s.bwdDistance, s.bwdFrames, settings);
  s.minutes = (lastFrame - firstFrame) / (settings.rate * 60.0);

  const int first = firstTrustedRecord(records);
  s.havePath = first >= 0;
  if (s.havePath) {
    int last = lastTrustedRecord(records);
    if (last < 0) last = 0;
    const cv::Point a = worldPoint(records[first], records[first].mid);
    const cv::Point b = worldPoint(records[last], records[last].mid);
    s.pathDistance = pointDistance(a, b);
  }
  writeSummary(wxs, s);
  labelRecords(movements, records);
  return s;
}

}  // namespace dukon

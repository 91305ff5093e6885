#include "behaviour/behaviour.h"

#include <algorithm>
#include <utility>

#include "base/geometry.h"

namespace dukon {

namespace {

// Frame number of the first record of the turn segment that passes the turn
// test; -1 when none does (the flag then came from a record beyond the
// segment's last usable record).
int omegaFrame(const MvVec& m, const std::vector<SkelRecord>& records) {
  const int n = static_cast<int>(records.size());
  for (int i = m.start(); i <= m.end() && i < n; ++i)
    if (isTurnRecord(records[i])) return records[i].frame;
  return -1;
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

// Start point to end point of the path over the trusted records.
void pathEnds(const std::vector<SkelRecord>& records, BehaviourSummary& s) {
  const int first = firstTrustedRecord(records);
  s.havePath = first >= 0;
  if (!s.havePath) return;
  int last = lastTrustedRecord(records);
  if (last < 0) last = 0;
  const cv::Point a = worldPoint(records[first], records[first].mid);
  const cv::Point b = worldPoint(records[last], records[last].mid);
  s.pathDistance = pointDistance(a, b);
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

Classification classifyBehaviour(std::vector<MvVec> movements,
                                 const std::vector<SkelRecord>& records,
                                 const MovementSettings& settings) {
  const int n = static_cast<int>(records.size());
  Classification c;
  BehaviourSummary& s = c.summary;
  c.omegaFrames.assign(movements.size(), -1);
  int lastDirection = 0;
  int firstFrame = 0, lastFrame = 0;
  for (size_t k = 0; k < movements.size(); ++k) {
    MvVec& m = movements[k];
    if (!spansRecords(m, n)) continue;  // not from these records
    const int startFrame = records[m.start()].frame;
    const int endFrame = records[m.end()].frame;
    if (!s.haveSpan) firstFrame = startFrame;
    s.haveSpan = true;
    lastFrame = endFrame;
    const int frames = endFrame - startFrame;
    s.totalFrames += frames;
    countSegment(m, static_cast<int>(k), frames, lastDirection, s);
    if (!m.loop() && m.turn()) c.omegaFrames[k] = omegaFrame(m, records);
  }
  s.movSpeed = MvVec::speedOf(s.movDistance, s.movFrames, settings);
  s.fwdSpeed = MvVec::speedOf(s.fwdDistance, s.fwdFrames, settings);
  s.bwdSpeed = MvVec::speedOf(s.bwdDistance, s.bwdFrames, settings);
  s.minutes = (lastFrame - firstFrame) / (settings.rate * 60.0);
  pathEnds(records, s);
  c.segments = std::move(movements);
  return c;
}

}  // namespace dukon

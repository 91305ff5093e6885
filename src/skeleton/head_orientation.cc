#include "skeleton/head_orientation.h"

#include <cmath>
#include <utility>

namespace dukon {

namespace {

// A run with fewer frame pairs than this has too little evidence of any kind
// but brightness: the brightness majority judges it.
constexpr int kMinPairs = 3;
// Evidence from this total on is clear enough to contradict an orientation.
// Every run of the synthetic scenarios and every run of more than a second
// of the real sample reached it.
constexpr double kClearEvidence = 0.5;
// Contradicting stretches longer than this are reported, seconds.
constexpr double kMinCheckSeconds = 1.0;

// +1 when more of the run's consistent frames put the brighter end at end A
// than at end B, -1 for the opposite, 0 on a tie or without votes.
int brightnessMajority(const std::vector<SkelRecord>& records, const LinkedRun& run) {
  int balance = 0;
  for (const RunMember& m : run.members) {
    const SkelRecord& r = records[m.index];
    if (r.consistent && r.headKnown) balance += r.head == endA(r, m) ? 1 : -1;
  }
  return (balance > 0) - (balance < 0);
}

HeadEvidence scaled(const HeadEvidence& e, double factor) {
  HeadEvidence s = e;
  s.brightness *= factor;
  s.swing *= factor;
  s.wave *= factor;
  s.travel *= factor;
  return s;
}

}  // namespace

std::vector<RunJudgement> judgeRuns(const std::vector<SkelRecord>& records, double rate) {
  std::vector<RunJudgement> judged;
  for (LinkedRun& run : linkRuns(records, rate)) {
    RunJudgement j;
    j.evidence = weighEvidence(records, run, rate);
    const double total = j.evidence.total();
    if (j.evidence.framePairs >= kMinPairs && total != 0) {
      j.headEnd = total > 0 ? 1 : -1;
      j.clear = std::fabs(total) >= kClearEvidence;
    } else {
      j.headEnd = brightnessMajority(records, run);
    }
    for (const RunMember& m : run.members) {
      const SkelRecord& r = records[m.index];
      j.heads.push_back(j.headEnd > 0 ? endA(r, m) : j.headEnd < 0 ? endB(r, m) : r.head);
    }
    j.run = std::move(run);
    judged.push_back(std::move(j));
  }
  return judged;
}

void orientByJudgement(std::vector<SkelRecord>& records, const std::vector<RunJudgement>& runs) {
  for (const RunJudgement& j : runs) {
    if (j.headEnd == 0) continue;
    for (size_t k = 0; k < j.run.members.size(); ++k) {
      SkelRecord& r = records[j.run.members[k].index];
      r.head = j.heads[k];
      r.tail = r.head == r.points.front() ? r.points.back() : r.points.front();
    }
  }
  for (SkelRecord& r : records) r.orient();
}

std::vector<HeadCheck> checkHeads(const std::vector<SkelRecord>& records,
                                  const std::vector<RunJudgement>& runs, double rate) {
  if (!(rate > 0)) rate = 1;
  std::vector<HeadCheck> checks;
  for (const RunJudgement& j : runs) {
    if (!j.clear) continue;
    HeadCheck open;
    auto close = [&]() {
      if (open.frames == 0) return;
      open.seconds = (open.lastFrame - open.firstFrame + 1) / rate;
      if (open.seconds > kMinCheckSeconds) {
        open.against = scaled(j.evidence, -j.headEnd);
        checks.push_back(open);
      }
      open = HeadCheck();
    };
    for (size_t k = 0; k < j.run.members.size(); ++k) {
      const SkelRecord& r = records[j.run.members[k].index];
      if (!r.consistent) continue;
      if (r.head == j.heads[k]) {
        close();
        continue;
      }
      if (open.frames == 0) open.firstFrame = r.frame;
      open.lastFrame = r.frame;
      ++open.frames;
    }
    close();
  }
  return checks;
}

}  // namespace dukon

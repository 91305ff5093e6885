#include "behaviour/movement_segmentation.h"

#include <algorithm>
#include <cstddef>

#include "skeleton/body_wave.h"

namespace dukon {

namespace {

// Loops, ignored frames and frames without a worm end a segment: no
// movement is measured across them.
bool closesSegment(const SkelRecord& r) {
  return r.loop || r.ignored || r.noWorm;
}

void append(std::vector<MvVec>& v, const std::vector<SkelRecord>& records, int s, int e, bool turn,
            const MovementSettings& settings, std::ostream& err) {
  v.emplace_back();
  v.back().fill(records, s, e, turn, settings, err);
}

// Scans forward from the usable record `start` and appends the segment that
// starts there. Returns the index where the walk goes on, or n when the
// records are used up.
int scanSegment(std::vector<MvVec>& v, const std::vector<SkelRecord>& records, int start,
                int segFrames, const MovementSettings& settings, std::ostream& err) {
  const int n = static_cast<int>(records.size());
  int lastGood = start;
  bool turn = isTurnRecord(records[start]);
  for (int j = start + 1; j < n; ++j) {
    const SkelRecord& r = records[j];
    if (closesSegment(r) && lastGood > start) {
      append(v, records, start, lastGood, turn, settings, err);
      return j;
    }
    const bool usable = r.trusted();
    if (usable && r.frame - records[start].frame >= segFrames) {
      append(v, records, start, j, turn, settings, err);
      return j;  // the end record starts the next segment
    }
    if (usable) lastGood = j;
    if (r.consistent && isTurnRecord(r)) turn = true;
  }
  if (lastGood > start) append(v, records, start, lastGood, turn, settings, err);
  return n;
}

bool mergeable(const MvVec& a, const MvVec& b) {
  if (a.pause() != b.pause() || a.turn() != b.turn()) return false;
  return a.direction() == b.direction() || (a.pause() && b.pause()) || (a.turn() && b.turn()) ||
         (a.loop() && b.loop());
}

}  // namespace

int movementSegmentFrames(const MovementSettings& settings, std::ostream& err) {
  int frames = static_cast<int>(settings.rate * settings.seglen);
  if (frames < 2) {
    err << "movement segment size set to 2" << std::endl;
    err << "(frmps=" << settings.rate << " and seglen=" << settings.seglen << " imply " << frames
        << ")" << std::endl;
    frames = 2;
  }
  if (settings.span <= frames) {
    err << "analyzing whole movie as one movement segment" << std::endl;
    frames = settings.span;
  }
  return frames;
}

std::vector<MvVec> cutMovements(const std::vector<SkelRecord>& records, int segFrames,
                                const MovementSettings& settings, std::ostream& err) {
  const int n = static_cast<int>(records.size());
  std::vector<MvVec> v;
  int i = 0;
  while (i < n) {
    const SkelRecord& r = records[i];
    if (r.ignored || (!r.loop && !r.trusted())) {
      ++i;  // no segment starts here
    } else if (r.loop) {
      int k = i;
      while (k + 1 < n && records[k + 1].loop) ++k;
      append(v, records, i, k, false, settings, err);
      i = k + 1;
    } else {
      i = scanSegment(v, records, i, segFrames, settings, err);
    }
  }
  return v;
}

void mergeMovements(std::vector<MvVec>& v, const std::vector<SkelRecord>& records,
                    const MovementSettings& settings) {
  const int n = static_cast<int>(records.size());
  size_t i = 0;
  while (i + 1 < v.size()) {
    const int after = v[i].end() + 1;
    if (after < n && (records[after].ignored || records[after].noWorm)) {
      ++i;
      continue;
    }
    while (i + 1 < v.size() && mergeable(v[i], v[i + 1])) {
      v[i].absorb(v[i + 1], records, settings);
      v.erase(v.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    }
    ++i;
  }
}

std::vector<MvVec> segmentMovements(const std::vector<SkelRecord>& records, std::ostream& wxs,
                                    const MovementSettings& settings, std::ostream& err) {
  const int segFrames = movementSegmentFrames(settings, err);
  std::vector<MvVec> v = cutMovements(records, segFrames, settings, err);
  const size_t before = v.size();
  mergeMovements(v, records, settings);
  const size_t after = v.size();
  wxs << "Movements compressed from " << before << " elements to " << after
      << " elements (reduction of ";
  if (before == 0)
    wxs << "n/a";
  else
    wxs << static_cast<double>(before - after) / static_cast<double>(before) * 100.0;
  wxs << "%)\n\n";
  return v;
}

}  // namespace dukon

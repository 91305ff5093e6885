#include "behaviour/path_measures.h"

#include <algorithm>

#include "base/geometry.h"
#include "base/params.h"

namespace dukon {

PathSettings pathSettings(const Params& prms, double rate) {
  PathSettings s;
  s.rate = rate;
  s.mmpix = prms.mmpix();
  s.seglen = prms.seglen();
  s.displen = prms.displen();
  s.anglen = prms.anglen();
  s.pausespdlim = prms.pausespdlim();
  return s;
}

namespace {

// One walk over the records. The due counters are record indices of the
// next displacement and angle slot.
class PathWalk {
 public:
  PathWalk(std::vector<SkelRecord>& records, const PathSettings& settings, PathMeasures& out)
      : r_(records), n_(static_cast<int>(records.size())), settings_(settings), out_(out) {
    out_.seglen = settings.seglen;
    out_.segFrames = static_cast<int>(settings.rate * settings.seglen);
    if (out_.segFrames == 0) out_.segFrames = 1;
    dispStep_ = static_cast<int>(settings.rate * settings.displen);
    dispDue_ = dispStep_;
    angStep_ = static_cast<int>(settings.rate * settings.anglen);
    angDue_ = angStep_;
  }

  void measure(int i) {
    speeds(i);
    displacement(i);
    turningAngle(i);
  }

 private:
  cv::Point worldMid(int a) const { return worldPoint(r_[a], r_[a].mid); }
  double mm(int a, int b) const {
    return pointDistance(worldMid(a), worldMid(b)) / settings_.mmpix;
  }
  double seconds(int a, int b) const { return (r_[b].frame - r_[a].frame) / settings_.rate; }
  // Speed from record a to b, negative when the mid point moved away from
  // where a's head was.
  double signedSpeed(int a, int b) const {
    double v = mm(b, a) / seconds(a, b);
    const cv::Point head = worldPoint(r_[a], r_[a].head);
    if (pointDistance(worldMid(a), head) < pointDistance(worldMid(b), head)) v = -v;
    return v;
  }

  void speeds(int i) {
    SpeedLine line;
    line.record = i;
    const int j = i - 1;
    if (r_[j].trusted() && r_[j].frame + 1 == r_[i].frame) line.frameSpeed = signedSpeed(j, i);
    const int k = i - out_.segFrames;
    if (k >= 0 && r_[k].trusted() && r_[k].frame + out_.segFrames == r_[i].frame)
      line.segmentSpeed = signedSpeed(k, i);
    out_.speeds.push_back(line);
  }

  void displacement(int i) {
    const int k = i - dispStep_;
    if (dispDue_ <= i && k >= 0 && r_[k].trusted() && r_[k].frame + dispStep_ == r_[i].frame) {
      r_[i].disp = mm(i, k);
      out_.displacements.push_back(SlotLine{r_[i].frame, r_[i].disp});
      dispDue_ += dispStep_;
    }
    if (dispStep_ / 2 + dispDue_ < i) {
      out_.displacements.push_back(SlotLine{dispDue_, std::nullopt});
      dispDue_ += dispStep_;
    }
  }

  void turningAngle(int i) {
    if (angDue_ <= i && i + angStep_ < n_) {
      int e = std::max(0, i - angStep_);
      while (e < i && !r_[e].trusted()) ++e;
      int f = i + angStep_;
      while (f > i && !r_[f].trusted()) --f;
      if (i - e > 0.9 * angStep_ && f - i > 0.9 * angStep_) {
        out_.turningAngles.push_back(SlotLine{r_[i].frame, angle(e, i, f)});
        angDue_ += angStep_;
      }
    }
    if (angStep_ / 2 + angDue_ < i) {
      out_.turningAngles.push_back(SlotLine{angDue_, std::nullopt});
      angDue_ += angStep_;
    }
  }

  // The turn from the leg e -> i to the leg i -> f, degrees; none when the
  // worm paused on either leg.
  std::optional<double> angle(int e, int i, int f) const {
    const double v1 = mm(e, i) / seconds(e, i);
    const double v2 = mm(i, f) / seconds(i, f);
    if (settings_.pausespdlim > v1 || settings_.pausespdlim > v2) return std::nullopt;
    const cv::Point me = worldMid(e);
    const cv::Point mi = worldMid(i);
    const cv::Point mf = worldMid(f);
    double t = directionAngle(mf.x - mi.x, mf.y - mi.y) - directionAngle(mi.x - me.x, mi.y - me.y);
    if (t > 180) t = -(360 - t);
    if (t < -180) t += 360;
    return t;
  }

  std::vector<SkelRecord>& r_;
  int n_;
  const PathSettings& settings_;
  PathMeasures& out_;
  int dispStep_ = 0, dispDue_ = 0;
  int angStep_ = 0, angDue_ = 0;
};

}  // namespace

PathMeasures measurePath(std::vector<SkelRecord>& records, const PathSettings& settings) {
  PathMeasures out;
  PathWalk walk(records, settings, out);
  const int n = static_cast<int>(records.size());
  for (int i = 1; i < n; ++i)
    if (records[i].trusted()) walk.measure(i);
  return out;
}

}  // namespace dukon

#include "skeleton/result_files.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/params.h"
#include "segment/egg_list.h"
#include "skeleton/body_wave.h"
#include "skeleton/feature_stats.h"

namespace dukon {

TableSettings tableSettings(const Params& prms, double rate) {
  TableSettings s;
  s.rate = rate;
  s.mmpix = prms.mmpix();
  s.seglen = prms.seglen();
  s.displen = prms.displen();
  s.anglen = prms.anglen();
  s.pausespdlim = prms.pausespdlim();
  s.eggs = prms.eggs();
  return s;
}

std::ostream& operator<<(std::ostream& os, TableNumber x) {
  if (std::isnan(x.v)) return os << "nan";
  return os << x.v;
}

namespace {

using N = TableNumber;

// "(x y)", the point form of both shape tables.
std::string pointText(const cv::Point& p) {
  return "(" + std::to_string(p.x) + " " + std::to_string(p.y) + ")";
}

// The speed, displacement and turning-angle lines of one usable record. The
// due counters are record indices of the next displacement and angle slot.
class MovementTables {
 public:
  MovementTables(std::vector<SkelRecord>& records, std::ostream& spd, std::ostream& dsp,
                 std::ostream& ang, const TableSettings& settings)
      : r_(records),
        n_(static_cast<int>(records.size())),
        spd_(spd),
        dsp_(dsp),
        ang_(ang),
        settings_(settings) {
    segFrames_ = static_cast<int>(settings.rate * settings.seglen);
    if (segFrames_ == 0) segFrames_ = 1;
    dispStep_ = static_cast<int>(settings.rate * settings.displen);
    dispDue_ = dispStep_;
    angStep_ = static_cast<int>(settings.rate * settings.anglen);
    angDue_ = angStep_;
  }

  int segFrames() const { return segFrames_; }

  void write(int i) {
    frameSpeed(i);
    segmentSpeed(i);
    displacement(i);
    turningAngle(i);
  }

 private:
  double mm(int a, int b) const { return pointDistance(r_[a].mid, r_[b].mid) / settings_.mmpix; }
  double seconds(int a, int b) const { return (r_[b].frame - r_[a].frame) / settings_.rate; }
  // Speed from record a to b, negative when the mid point moved away from
  // where a's head was.
  double signedSpeed(int a, int b) const {
    double v = mm(b, a) / seconds(a, b);
    if (pointDistance(r_[a].mid, r_[a].head) < pointDistance(r_[b].mid, r_[a].head)) v = -v;
    return v;
  }

  void frameSpeed(int i) {
    const int j = i - 1;
    if (r_[j].trusted() && r_[j].frame + 1 == r_[i].frame)
      spd_ << r_[i].frame << "\t" << N{signedSpeed(j, i)} << "\t";
    else
      spd_ << r_[i].frame << "\t  -  \t";
  }

  void segmentSpeed(int i) {
    const int k = i - segFrames_;
    if (k >= 0 && r_[k].trusted() && r_[k].frame + segFrames_ == r_[i].frame)
      spd_ << N{signedSpeed(k, i)} << "\t";
    else
      spd_ << "  -  \t";
  }

  void displacement(int i) {
    const int k = i - dispStep_;
    if (dispDue_ <= i && k >= 0 && r_[k].trusted() && r_[k].frame + dispStep_ == r_[i].frame) {
      r_[i].disp = mm(i, k);
      dsp_ << r_[i].frame << "\t" << N{r_[i].disp} << "\n";
      dispDue_ += dispStep_;
    }
    if (dispStep_ / 2 + dispDue_ < i) {
      dsp_ << dispDue_ << "\t-\n";
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
        writeAngle(e, i, f);
        angDue_ += angStep_;
      }
    }
    if (angStep_ / 2 + angDue_ < i) {
      ang_ << angDue_ << "\t-\n";
      angDue_ += angStep_;
    }
  }

  void writeAngle(int e, int i, int f) {
    const double v1 = mm(e, i) / seconds(e, i);
    const double v2 = mm(i, f) / seconds(i, f);
    if (settings_.pausespdlim > v1 || settings_.pausespdlim > v2) {
      ang_ << r_[i].frame << "\t-\n";
      return;
    }
    const cv::Point& me = r_[e].mid;
    const cv::Point& mi = r_[i].mid;
    const cv::Point& mf = r_[f].mid;
    double t = directionAngle(mf.x - mi.x, mf.y - mi.y) - directionAngle(mi.x - me.x, mi.y - me.y);
    if (t > 180) t = -(360 - t);
    if (t < -180) t += 360;
    ang_ << r_[i].frame << "\t" << N{t} << "\n";
  }

  std::vector<SkelRecord>& r_;
  int n_;
  std::ostream& spd_;
  std::ostream& dsp_;
  std::ostream& ang_;
  const TableSettings& settings_;
  int segFrames_ = 1;
  int dispStep_ = 0, dispDue_ = 0;
  int angStep_ = 0, angDue_ = 0;
};

void writeConsistentShort(std::ostream& wxo, const SkelRecord& r) {
  wxo << "1 " << pointText(r.head) << pointText(r.mid) << pointText(r.tail) << " " << r.numsklpts
      << "," << r.cutpnums << "|" << N{r.maxampL} << "," << N{r.maxampR} << ",";
  wxo.precision(4);
  wxo << N{r.Navgamp} << "|";
  wxo.precision(2);
  wxo << N{r.avgangle} << "," << N{r.maxangL} << "," << N{r.maxangR} << "|";
  wxo.precision(3);
  wxo << N{r.Nwavelen} << ",";
  wxo.precision(2);
  wxo << N{r.straightfs} << "," << N{r.sinusfs} << "|" << N{r.disp} << ",";
}

void writeConsistentFull(std::ostream& wxd, const SkelRecord& r) {
  wxd << "1," << pointText(r.head) << "," << pointText(r.mid) << "," << pointText(r.tail) << ",("
      << r.cmass[0] << " " << r.cmass[1] << ")," << r.numsklpts << "," << r.cutpnums << ","
      << N{r.len} << "," << N{r.thickness} << "," << N{r.area} << "," << N{r.avgamp} << ","
      << N{r.ampsym} << "," << N{r.maxampL} << "," << N{r.maxampR} << ",";
  wxd.precision(4);
  wxd << N{r.Navgamp} << "," << N{r.NmaxampL} << "," << N{r.NmaxampR} << ",";
  wxd.precision(2);
  wxd << N{r.avgangle} << "," << N{r.anglesym} << "," << N{r.maxangL} << "," << N{r.maxangR} << ","
      << N{r.wavelen} << ",";
  wxd.precision(3);
  wxd << N{r.Nwavelen} << "," << N{r.freq} << ",";
  wxd.precision(2);
  wxd << N{r.straightfs} << "," << N{r.sinusfs} << "," << N{r.disp} << ",";
}

// The movement label of a table row; the speed table names loops by class.
void writeLabel(std::ostream& os, const SkelRecord& r, bool loopByFlag) {
  if (loopByFlag && r.loop) {
    os << "loop";
    return;
  }
  if (r.mv == MovementCode::kForward) os << "fwd";
  if (r.mv == MovementCode::kBackward && !r.reversal) os << "bckwd";
  if (r.reversal) os << "reversal";
  if (r.mv == MovementCode::kPause) os << "pause";
  if (r.mv == MovementCode::kOmega) os << "omega";
  if (!loopByFlag && r.mv == MovementCode::kLoop) os << "loop";
}

void writeRow(std::ostream& wxo, std::ostream& wxd, const SkelRecord& r) {
  wxo << "\n#" << r.frame << " ";
  wxd << "\n#" << r.frame << ",";
  if (r.ignored) {
    wxo << ",,|,,|,,|,IGNORED";
    wxd << ",,,,,,,,,,,,,,,,,,,,,,,IGNORED";
    return;
  }
  if (!r.consistent) {
    wxo << "0 ( -1 -1 )( -1 -1 )( -1 -1 ),,|,,|,,|,";
    wxd << "0,(-1 -1),(-1 -1),(-1 -1),(-1 -1),,,,,,,,,,,,,,,,,,,,,,,";
  } else {
    writeConsistentShort(wxo, r);
    writeConsistentFull(wxd, r);
  }
  writeLabel(wxo, r, true);
  writeLabel(wxd, r, true);
}

}  // namespace

void writeResultTables(std::vector<SkelRecord>& records, std::ostream& wxo, std::ostream& wxd,
                       std::ostream& spd, std::ostream& dsp, std::ostream& ang, std::ostream& egs,
                       const EggList& eggs, const TableSettings& settings) {
  const int n = static_cast<int>(records.size());
  MovementTables moves(records, spd, dsp, ang, settings);
  wxo << "\nframe OK? (head)(mid)(tail) #skelpts,#cutpt|maxampL,maxampR,Navgamp|"
         "avgang,maxangL,maxangR|Nwvlen,straightfs,sinusfs|disp,mv";
  wxd << "\nframe,OK?,(head),(mid),(tail),(cmass),#skelpts,#cutpt,len,thick,area,avgamp,ampsym,"
         "maxampL,maxampR,Navgamp,NmaxampL,NmaxampR,avgang,angsym,maxangL,maxangR,wvlen,Nwvlen,"
         "freq,straightfs,sinusfs,disp,mv";
  spd << "# spd-frm is speed relative to previous frame\n"
      << "# spd-seg is speed in " << settings.seglen << " sec segment (" << moves.segFrames()
      << " frames)\n"
      << "#   spd-frm spd-seg\n";
  for (int i = 0; i < n; ++i) {
    const bool moving = i > 0 && records[i].trusted();
    if (moving) moves.write(i);
    writeRow(wxo, wxd, records[i]);
    if (moving) {
      writeLabel(spd, records[i], false);
      spd << "\n";
    }
  }
  if (settings.eggs) writeEggTable(egs, eggs);
}

void writeEggTable(std::ostream& egs, const EggList& eggs) {
  egs << "# eggs - eggs found in the movie\n";
  bool any = false;
  for (int i = 0; i < eggs.count(); ++i) {
    const Egg& e = eggs.egg(i);
    if (!e.isVerified()) continue;
    if (!any) egs << "#frame\tts\tsize\tloc\tverified\n";
    any = true;
    egs << e.frame() << "\t" << e.ts() << "\t" << N{e.size()} << "\t" << e.xpos() + e.xLoc() << ","
        << e.ypos() + e.yLoc() << "\t" << e.verified() << " \n";
  }
  if (any)
    egs << "\n# all sizes are in pixels (not real sizes). \n";
  else
    egs << "# no eggs clusters found. \n";
}

void writeFeatureSummary(const std::vector<SkelRecord>& records, std::ostream& wxo,
                         const StatisticsLayout& layout) {
  struct Feature {
    const char* name;
    double (*get)(const SkelRecord&);
    int precision;
  };
  static const Feature kFeatures[] = {
      {"numsklpts", [](const SkelRecord& r) { return double(r.numsklpts); }, 3},
      {"len", [](const SkelRecord& r) { return r.len; }, 3},
      {"cutpnums", [](const SkelRecord& r) { return double(r.cutpnums); }, 2},
      {"avgamp", [](const SkelRecord& r) { return r.avgamp; }, 2},
      {"ampsym", [](const SkelRecord& r) { return r.ampsym; }, 2},
      {"maxampL", [](const SkelRecord& r) { return r.maxampL; }, 2},
      {"maxampR", [](const SkelRecord& r) { return r.maxampR; }, 2},
      {"Navgamp", [](const SkelRecord& r) { return r.Navgamp; }, 4},
      {"NmaxampL", [](const SkelRecord& r) { return r.NmaxampL; }, 4},
      {"NmaxampR", [](const SkelRecord& r) { return r.NmaxampR; }, 4},
      {"avgangle", [](const SkelRecord& r) { return r.avgangle; }, 2},
      {"anglesym", [](const SkelRecord& r) { return r.anglesym; }, 2},
      {"maxangL", [](const SkelRecord& r) { return r.maxangL; }, 2},
      {"maxangR", [](const SkelRecord& r) { return r.maxangR; }, 2},
      {"thickness", [](const SkelRecord& r) { return r.thickness; }, 3},
      {"area", [](const SkelRecord& r) { return r.area; }, 4},
      {"wavelen", [](const SkelRecord& r) { return r.wavelen; }, 3},
      {"Nwavelen", [](const SkelRecord& r) { return r.Nwavelen; }, 3},
      {"freq", [](const SkelRecord& r) { return r.freq; }, 3},
      {"straightfs", [](const SkelRecord& r) { return r.straightfs; }, 2},
      {"sinusfs", [](const SkelRecord& r) { return r.sinusfs; }, 2},
      {"disp", [](const SkelRecord& r) { return r.disp == -1.0 ? SkelRecord::kNaN : r.disp; }, 3},
  };
  std::vector<MovementCode> classes;
  for (const SkelRecord& r : records)
    if (r.consistent) classes.push_back(r.mv);
  std::vector<double> values;
  for (const Feature& f : kFeatures) {
    values.clear();
    for (const SkelRecord& r : records)
      if (r.consistent) values.push_back(f.get(r));
    writeStatisticsBlock(wxo, f.name, values, classes, f.precision, layout);
  }
  wxo << "\n";
}

}  // namespace dukon

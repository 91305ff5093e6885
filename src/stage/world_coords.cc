#include "stage/world_coords.h"

#include <algorithm>
#include <cmath>

#include "run/params.h"

namespace dukon {

namespace {

void shift(cv::Point& p, int dx, int dy) {
  p.x += dx;
  p.y += dy;
}

}  // namespace

void worldCoordinates(std::vector<SkelRecord>& records, int n, const Params& prms) {
  n = std::clamp(n, 0, static_cast<int>(records.size()));
  for (int i = 0; i < n; ++i) {
    SkelRecord& r = records[i];
    shift(r.head, r.xLoc, r.yLoc);
    shift(r.tail, r.xLoc, r.yLoc);
    shift(r.mid, r.xLoc, r.yLoc);
    r.cmass[0] += r.yLoc;  // row
    r.cmass[1] += r.xLoc;  // column
  }
  if (n > 0) records[0].freq = SkelRecord::kNaN;
  for (int i = 1; i < n; ++i) {
    SkelRecord& r = records[i];
    const SkelRecord& p = records[i - 1];
    r.freq = SkelRecord::kNaN;
    if (!r.trusted() || !p.trusted() || static_cast<long long>(p.frame) + 1 != r.frame) continue;
    // A zero wavelength would turn every later statistic into infinity.
    if (!(r.wavelen > 0.0)) continue;
    const double dRow = static_cast<double>(r.cmass[0]) - p.cmass[0];
    const double dCol = static_cast<double>(r.cmass[1]) - p.cmass[1];
    r.freq = std::sqrt(dRow * dRow + dCol * dCol) * prms.frmps() / r.wavelen;
  }
}

}  // namespace dukon

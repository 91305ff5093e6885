#include "stage/world_coords.h"

#include <algorithm>
#include <cmath>

namespace dukon {

void worldCoordinates(std::vector<SkelRecord>& records, double rate) {
  const int n = static_cast<int>(records.size());
  for (SkelRecord& r : records) {
    r.head = worldPoint(r, r.head);
    r.tail = worldPoint(r, r.tail);
    r.mid = worldPoint(r, r.mid);
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
    r.freq = std::sqrt(dRow * dRow + dCol * dCol) * rate / r.wavelen;
  }
}

}  // namespace dukon

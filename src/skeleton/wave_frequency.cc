#include "skeleton/wave_frequency.h"

#include <array>
#include <cmath>

namespace dukon {

void waveFrequency(std::vector<SkelRecord>& records, double rate) {
  const int n = static_cast<int>(records.size());
  if (n > 0) records[0].freq = SkelRecord::kNaN;
  for (int i = 1; i < n; ++i) {
    SkelRecord& r = records[i];
    const SkelRecord& p = records[i - 1];
    r.freq = SkelRecord::kNaN;
    if (!r.trusted() || !p.trusted() || static_cast<long long>(p.frame) + 1 != r.frame) continue;
    // A zero wavelength would turn every later statistic into infinity.
    if (!(r.wavelen > 0.0)) continue;
    const std::array<int, 2> a = worldCmass(r);
    const std::array<int, 2> b = worldCmass(p);
    const double dRow = static_cast<double>(a[0]) - b[0];
    const double dCol = static_cast<double>(a[1]) - b[1];
    r.freq = std::sqrt(dRow * dRow + dCol * dCol) * rate / r.wavelen;
  }
}

}  // namespace dukon

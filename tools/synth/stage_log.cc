#include "synth/stage_log.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include "base/fatal_error.h"

namespace dukon {
namespace synth {

std::string formatLogTime(double ms) {
  long long total = ms > 0.0 ? std::llround(ms) : 0;
  long long millis = total % 1000, secs = (total / 1000) % 60;
  long long mins = (total / 60000) % 60, hours = total / 3600000;
  char buf[64];
  if (hours > 0) {
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld.%03lld", hours, mins, secs, millis);
  } else {
    std::snprintf(buf, sizeof buf, "%02lld:%02lld.%03lld", mins, secs, millis);
  }
  return buf;
}

long long stageUnits(int px, int mmpixstage) {
  if (px == 0) return 0;
  // The middle of the pixel keeps floor() away from rounding noise however
  // the reader divides.
  return std::llround((px + 0.5) * 1e6 / mmpixstage);
}

void writeStageLog(const std::string& path, const std::vector<StageSample>& samples,
                   int mmpixstage) {
  std::ofstream out(path);
  if (!out) throw FatalError("Couldn't write stage log " + path + "\n");
  out << "Sample,Time,Device,X,Y\n";
  int n = 0;
  for (const StageSample& s : samples) {
    out << ++n << ',' << formatLogTime(s.timeMs) << ",STAGE,"
        << kStageOriginX + stageUnits(s.px.x, mmpixstage) << ','
        << kStageOriginY + stageUnits(s.px.y, mmpixstage) << '\n';
  }
  if (!out) throw FatalError("Couldn't write stage log " + path + "\n");
}

}  // namespace synth
}  // namespace dukon

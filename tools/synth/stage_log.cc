#include "synth/stage_log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "run/fatal_error.h"

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

std::vector<LogSample> readStageLog(const std::string& path, int* badLines) {
  std::ifstream in(path);
  if (!in) throw FatalError("Couldn't open stage data file " + path + "\n");
  std::vector<LogSample> samples;
  std::string line;
  int bad = 0;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    double h = 0, m = 0, s = 0, x = 0, y = 0;
    if (std::sscanf(line.c_str(), "%*[^,],%lf:%lf,STAGE,%lf,%lf", &m, &s, &x, &y) != 4) {
      if (std::sscanf(line.c_str(), "%*[^,],%lf:%lf:%lf,STAGE,%lf,%lf", &h, &m, &s, &x, &y) != 5) {
        ++bad;
        continue;
      }
    }
    samples.push_back(LogSample{((h * 60 + m) * 60 + s) * 1000, x / 1000000, y / 1000000});
  }
  if (badLines) *badLines = bad;
  return samples;
}

cv::Point analyserOffset(const std::vector<LogSample>& samples, double frameTimeMs,
                         int mmpixstage) {
  if (samples.empty()) return cv::Point(0, 0);
  double minX = samples[0].x, minY = samples[0].y;
  for (const LogSample& s : samples) {
    minX = std::min(minX, s.x);
    minY = std::min(minY, s.y);
  }
  size_t cur = 0;
  while (cur + 1 < samples.size() && samples[cur + 1].timeMs < frameTimeMs) ++cur;
  return cv::Point(static_cast<int>(std::floor(mmpixstage * (samples[cur].x - minX))),
                   static_cast<int>(std::floor(mmpixstage * (samples[cur].y - minY))));
}

}  // namespace synth
}  // namespace dukon

#include "output/centreline_file.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

namespace dukon {

namespace {

const char* sourceName(CentrelineSource s) {
  switch (s) {
    case CentrelineSource::kChain:
      return "chain";
    case CentrelineSource::kFitted:
      return "fitted";
    case CentrelineSource::kNone:
      break;
  }
  return "none";
}

// v rounded to hundredths, a value that rounds to zero as plain 0 (so that
// it is not written "-0.00").
double hundredths(double v) {
  return std::round(v * 100) / 100 + 0.0;
}

}  // namespace

CentrelineFile::CentrelineFile(std::ostream& os) : os_(os) {
  std::string header = "frame,source,fit_error";
  for (int i = 0; i < kCentrelinePoints; ++i)
    header += ",x" + std::to_string(i) + ",y" + std::to_string(i);
  os_ << header << ",stage_x,stage_y\n";
}

void CentrelineFile::write(const FrameCentreline& row) {
  // snprintf: fixed decimals whatever the stream's precision and locale.
  char buf[64];
  std::string line = std::to_string(row.frame) + "," + sourceName(row.source) + ",";
  if (row.source != CentrelineSource::kChain && std::isfinite(row.fitError)) {
    std::snprintf(buf, sizeof buf, "%.4f", row.fitError);
    line += buf;
  }
  const bool points = row.source != CentrelineSource::kNone && row.line.size() == kCentrelinePoints;
  for (int i = 0; i < kCentrelinePoints; ++i) {
    if (!points) {
      line += ",,";
      continue;
    }
    std::snprintf(buf, sizeof buf, ",%.2f,%.2f", hundredths(row.line[i].x),
                  hundredths(row.line[i].y));
    line += buf;
  }
  os_ << line << ',' << row.stage.x << ',' << row.stage.y << '\n';
}

bool writeCentrelineFile(const std::string& path,
                         const std::function<void(CentrelineFile&)>& fill) {
  std::ofstream os(path, std::ios::out | std::ios::trunc);
  if (!os.is_open()) return false;
  CentrelineFile file(os);
  fill(file);
  os.close();
  return !os.fail();
}

}  // namespace dukon

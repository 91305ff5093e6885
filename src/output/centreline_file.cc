#include "output/centreline_file.h"

#include <charconv>
#include <cmath>
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

// Appends v with `decimals` fixed decimals, exactly as printf's "%.Nf"
// writes it in the C locale, but without its cost: a long run writes about
// a hundred numbers a frame.
void appendFixed(std::string& s, double v, int decimals) {
  char buf[400];  // room for any double
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  s.append(buf, r.ec == std::errc() ? r.ptr : buf);
}

}  // namespace

CentrelineFile::CentrelineFile(std::ostream& os) : os_(os) {
  std::string header = "frame,source,fit_error";
  for (int i = 0; i < kCentrelinePoints; ++i)
    header += ",x" + std::to_string(i) + ",y" + std::to_string(i);
  os_ << header << ",stage_x,stage_y\n";
}

void CentrelineFile::write(const FrameCentreline& row) {
  // Fixed decimals whatever the stream's precision and locale.
  std::string line = std::to_string(row.frame) + "," + sourceName(row.source) + ",";
  if (row.source != CentrelineSource::kChain && std::isfinite(row.fitError))
    appendFixed(line, row.fitError, 4);
  const bool points = row.source != CentrelineSource::kNone && row.line.size() == kCentrelinePoints;
  for (int i = 0; i < kCentrelinePoints; ++i) {
    if (!points) {
      line += ",,";
      continue;
    }
    line += ',';
    appendFixed(line, hundredths(row.line[i].x), 2);
    line += ',';
    appendFixed(line, hundredths(row.line[i].y), 2);
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

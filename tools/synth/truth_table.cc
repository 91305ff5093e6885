#include "synth/truth_table.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/fatal_error.h"

namespace dukon {
namespace synth {
namespace {

// Fixed-point number, or "nan".
std::string num(double v, int decimals) {
  if (std::isnan(v)) return "nan";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::vector<std::string> splitCsv(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream ss(line);
  std::string f;
  while (std::getline(ss, f, ',')) fields.push_back(f);
  return fields;
}

double parseDouble(const std::string& s, bool* ok) {
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end != '\0') *ok = false;
  return v;
}

}  // namespace

std::string truthHeader() {
  return "frame,time_ms,stage_x_px,stage_y_px,stage_moving,head_x,head_y,mid_x,mid_y,tail_x,"
         "tail_y,state,wavelength_px,freq_hz,speed_mm_s,length_px,egg_event,egg_x,egg_y,cmass_x,"
         "cmass_y";
}

void writeTruthCsv(const std::string& path, const std::vector<TruthRow>& rows) {
  std::ofstream out(path);
  if (!out) throw FatalError("Couldn't write ground truth " + path + "\n");
  out << truthHeader() << '\n';
  for (const TruthRow& r : rows) {
    out << r.frame << ',' << num(r.timeMs, 3) << ',' << r.stage.x << ',' << r.stage.y << ','
        << (r.stageMoving ? 1 : 0) << ',' << num(r.head.x, 2) << ',' << num(r.head.y, 2) << ','
        << num(r.mid.x, 2) << ',' << num(r.mid.y, 2) << ',' << num(r.tail.x, 2) << ','
        << num(r.tail.y, 2) << ',' << r.state << ',' << num(r.wavelengthPx, 2) << ','
        << num(r.freqHz, 4) << ',' << num(r.speedMmS, 4) << ',' << num(r.lengthPx, 2) << ','
        << r.eggEvent << ',' << num(r.egg.x, 2) << ',' << num(r.egg.y, 2) << ','
        << num(r.cmass.x, 3) << ',' << num(r.cmass.y, 3) << '\n';
  }
  if (!out) throw FatalError("Couldn't write ground truth " + path + "\n");
}

std::vector<TruthRow> readTruthCsv(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw FatalError("Couldn't open ground truth " + path + "\n");
  std::string line;
  if (!std::getline(in, line) || line != truthHeader()) {
    throw FatalError("Unexpected ground-truth header in " + path + "\n");
  }
  std::vector<TruthRow> rows;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> f = splitCsv(line);
    bool ok = f.size() == 21;
    if (!ok) throw FatalError("Bad ground-truth row in " + path + ": " + line + "\n");
    auto d = [&](int i) { return parseDouble(f[i], &ok); };
    TruthRow r;
    r.frame = static_cast<int>(d(0));
    r.timeMs = d(1);
    r.stage = cv::Point(static_cast<int>(d(2)), static_cast<int>(d(3)));
    r.stageMoving = d(4) != 0.0;
    r.head = cv::Point2d(d(5), d(6));
    r.mid = cv::Point2d(d(7), d(8));
    r.tail = cv::Point2d(d(9), d(10));
    r.state = f[11];
    r.wavelengthPx = d(12);
    r.freqHz = d(13);
    r.speedMmS = d(14);
    r.lengthPx = d(15);
    r.eggEvent = static_cast<int>(d(16));
    r.egg = cv::Point2d(d(17), d(18));
    r.cmass = cv::Point2d(d(19), d(20));
    if (!ok) throw FatalError("Bad ground-truth row in " + path + ": " + line + "\n");
    rows.push_back(r);
  }
  return rows;
}

}  // namespace synth
}  // namespace dukon

#include "synth/truth_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/fatal_error.h"

namespace dukon {
namespace synth {
namespace {

const double kNaN = std::nan("");

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

// Columns before the centreline's.
constexpr size_t kScalarColumns = 21;

}  // namespace

std::string truthHeader() {
  std::string h =
      "frame,time_ms,stage_x_px,stage_y_px,stage_moving,head_x,head_y,mid_x,mid_y,tail_x,"
      "tail_y,state,wavelength_px,freq_hz,speed_mm_s,length_px,egg_event,egg_x,egg_y,cmass_x,"
      "cmass_y";
  for (int i = 0; i < kCentrelinePoints; ++i)
    h += ",x" + std::to_string(i) + ",y" + std::to_string(i);
  return h;
}

std::vector<cv::Point2d> resampleByArcLength(const std::vector<cv::Point2d>& line, int n) {
  std::vector<double> arc(line.size(), 0.0);
  for (size_t i = 1; i < line.size(); ++i)
    arc[i] = arc[i - 1] + std::hypot(line[i].x - line[i - 1].x, line[i].y - line[i - 1].y);
  std::vector<cv::Point2d> out;
  size_t seg = 1;
  for (int k = 0; k < n; ++k) {
    const double s = arc.back() * k / (n - 1);
    while (seg + 1 < line.size() && arc[seg] < s) ++seg;
    const double span = arc[seg] - arc[seg - 1];
    const double t = span > 0 ? std::clamp((s - arc[seg - 1]) / span, 0.0, 1.0) : 0.0;
    out.push_back(line[seg - 1] + t * (line[seg] - line[seg - 1]));
  }
  return out;
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
        << num(r.cmass.x, 3) << ',' << num(r.cmass.y, 3);
    for (int i = 0; i < kCentrelinePoints; ++i) {
      const bool has = i < static_cast<int>(r.centreline.size());
      out << ',' << num(has ? r.centreline[i].x : kNaN, 2) << ','
          << num(has ? r.centreline[i].y : kNaN, 2);
    }
    out << '\n';
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
    bool ok = f.size() == kScalarColumns + 2 * kCentrelinePoints;
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
    for (int i = 0; i < kCentrelinePoints; ++i) {
      const int c = static_cast<int>(kScalarColumns) + 2 * i;
      r.centreline.emplace_back(d(c), d(c + 1));
    }
    if (!ok) throw FatalError("Bad ground-truth row in " + path + ": " + line + "\n");
    rows.push_back(r);
  }
  return rows;
}

}  // namespace synth
}  // namespace dukon

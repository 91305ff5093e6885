#include "results/centreline_file.h"

#include <cmath>
#include <fstream>

#include "results/run_file.h"

namespace dukon {
namespace results {

void readCentrelineFile(const std::string& path,
                        const std::function<void(const CentrelineRow&)>& use) {
  // frame, source, fit_error, the points, stage_x, stage_y
  constexpr size_t kFields = 3 + 2 * kCentrelinePoints + 2;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw RunFileError(path + ": cannot open (missing file?)");
  std::string line;
  if (!std::getline(in, line) || line.rfind("frame,source,fit_error,x0,y0,", 0) != 0)
    throw RunFileError(path + ": not a centreline file (no header)");
  CentrelineRow row;
  for (size_t number = 2; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> f = split(line, ',');
    auto bad = [&](const std::string& why) {
      return RunFileError(path + ":" + std::to_string(number) + ": " + why);
    };
    if (f.size() != kFields) throw bad("expected " + std::to_string(kFields) + " fields");
    if (!parseInt(f[0], &row.frame)) throw bad("bad frame number");
    row.source = f[1];
    if (row.source != "chain" && row.source != "fitted" && row.source != "none")
      throw bad("unknown source '" + excerpt(row.source) + "'");
    row.fitError = std::nan("");
    if (!f[2].empty() && !parseDouble(f[2], &row.fitError)) throw bad("bad fit error");
    if (!parseDouble(f[kFields - 2], &row.stage.x) || !parseDouble(f[kFields - 1], &row.stage.y))
      throw bad("bad stage location");
    row.points.clear();
    for (size_t k = 0; row.source != "none" && k < kCentrelinePoints; ++k) {
      cv::Point2d p;
      if (!parseDouble(f[3 + 2 * k], &p.x) || !parseDouble(f[4 + 2 * k], &p.y))
        throw bad("bad point " + std::to_string(k));
      row.points.push_back(p);
    }
    use(row);
  }
}

}  // namespace results
}  // namespace dukon

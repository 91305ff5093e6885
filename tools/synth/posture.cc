#include "synth/posture.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace dukon {
namespace synth {
namespace {

// The angles of one line appended to `angles`; "" or the offending word.
std::string parseLine(const std::string& line, std::vector<double>* angles) {
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == ',' || c == '\r') {
      ++i;
      continue;
    }
    size_t end = line.find_first_of(" \t,\r", i);
    std::string word = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
    char* stop = nullptr;
    errno = 0;
    double v = std::strtod(word.c_str(), &stop);
    if (*stop != '\0' || errno == ERANGE || !std::isfinite(v)) return word;
    angles->push_back(v);
    i = end == std::string::npos ? line.size() : end;
  }
  return "";
}

}  // namespace

std::string readPostureAngles(const std::string& path, std::vector<double>* angles) {
  std::ifstream in(path);
  if (!in) return "cannot read posture file " + path;
  angles->clear();
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line[0] == '#') continue;
    std::string bad = parseLine(line, angles);
    if (!bad.empty()) {
      return path + ":" + std::to_string(number) + ": not an angle in radians: '" + bad + "'";
    }
  }
  if (angles->size() < 2) return path + ": a posture needs 2 angles at least";
  return "";
}

std::vector<cv::Point2f> postureCentreline(const std::vector<double>& angles, double lengthPx,
                                           double headingRad, cv::Point2d head, int points) {
  const size_t pieces = angles.size();
  const double piece = lengthPx / static_cast<double>(pieces);
  // Corners of the chain: corner k ends piece k - 1.
  std::vector<cv::Point2d> corners{head};
  for (double a : angles) {
    double t = a + headingRad;
    corners.push_back(corners.back() + cv::Point2d(std::cos(t), std::sin(t)) * piece);
  }
  std::vector<cv::Point2f> out;
  out.reserve(points);
  for (int j = 0; j < points; ++j) {
    double s = lengthPx * j / (points - 1);
    size_t k = std::min(pieces - 1, static_cast<size_t>(s / piece));
    cv::Point2d p = corners[k] + (corners[k + 1] - corners[k]) * ((s - k * piece) / piece);
    out.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y));
  }
  return out;
}

}  // namespace synth
}  // namespace dukon

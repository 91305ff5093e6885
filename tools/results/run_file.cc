#include "results/run_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace dukon {
namespace results {

LineFile::LineFile(const std::string& path) : path_(path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw RunFileError(path + ": cannot open (missing file?)");
  std::ostringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  endsWithNewline_ = !all.empty() && all.back() == '\n';
  std::string line;
  std::istringstream lines(all);
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(line);
  }
}

RunFileError LineFile::error(size_t number, const std::string& reason) const {
  return RunFileError(path_ + ":" + std::to_string(number) + ": " + reason);
}

RunFileError LineFile::error(const std::string& reason) const {
  return RunFileError(path_ + ": " + reason);
}

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool parseInt(const std::string& s, int* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || n < -2147483647L || n > 2147483647L) return false;
  *v = static_cast<int>(n);
  return true;
}

bool parseDouble(const std::string& s, double* v) {
  if (s == "nan" || s == "-nan") {
    *v = std::nan("");
    return true;
  }
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double d = std::strtod(s.c_str(), &end);
  if (*end != '\0' || errno == ERANGE) return false;
  *v = d;
  return true;
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == sep) {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

bool parsePoint(const std::string& s, cv::Point* p) {
  if (s.size() < 5 || s.front() != '(' || s.back() != ')') return false;
  const std::vector<std::string> xy = split(s.substr(1, s.size() - 2), ' ');
  return xy.size() == 2 && parseInt(xy[0], &p->x) && parseInt(xy[1], &p->y);
}

std::string excerpt(const std::string& s) {
  return s.substr(0, 40);
}

}  // namespace results
}  // namespace dukon

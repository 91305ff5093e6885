// Run output files written the way the analyser writes them, for the tests
// of the readers and of the annotated-movie tool: rows of the shape table, a
// skeleton file, a parameters copy, and a fresh folder to hold them.
#ifndef DUKON_RESULTS_TEST_SAMPLES_H_
#define DUKON_RESULTS_TEST_SAMPLES_H_

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {
namespace results {
namespace samples {

inline std::string point(cv::Point p) {
  return "(" + std::to_string(p.x) + " " + std::to_string(p.y) + ")";
}

// A consistent row: head, mid and tail in world pixels, 60 chain points,
// 2 crossings, 20 feature values (1.5, the wavelength nan).
inline std::string consistentRow(int frame, cv::Point head, cv::Point tail,
                                 const std::string& label) {
  std::string row = "#" + std::to_string(frame) + ",1," + point(head) + "," +
                    point((head + tail) / 2) + "," + point(tail) + ",(50 80),60,2";
  for (int i = 0; i < 20; ++i) row += i == 14 ? ",nan" : ",1.5";
  return row + "," + label;
}

inline std::string inconsistentRow(int frame, const std::string& label) {
  return "#" + std::to_string(frame) + ",0,(-1 -1),(-1 -1),(-1 -1),(-1 -1)" + std::string(23, ',') +
         label;
}

inline std::string ignoredRow(int frame) {
  return "#" + std::to_string(frame) + std::string(24, ',') + "IGNORED";
}

inline std::string shapeTable(const std::vector<std::string>& rows) {
  std::string text =
      "\nframe,OK?,(head),(mid),(tail),(cmass),#skelpts,#cutpt,len,thick,area,avgamp,ampsym,"
      "maxampL,maxampR,Navgamp,NmaxampL,NmaxampR,avgang,angsym,maxangL,maxangR,wvlen,Nwvlen,"
      "freq,straightfs,sinusfs,disp,mv";
  for (const std::string& r : rows) text += "\n" + r;
  return text;
}

using Chain = std::pair<int, std::vector<cv::Point>>;

inline std::string skeletonFile(const std::vector<Chain>& chains) {
  std::string text;
  for (const Chain& c : chains) {
    text += "Frame number: " + std::to_string(c.first) + "\n";
    for (const cv::Point& p : c.second) {
      text += std::to_string(p.x) + "," + std::to_string(p.y) + "\n";
    }
  }
  return text;
}

// A straight 8-connected chain from `from` to `to`.
inline std::vector<cv::Point> straightChain(cv::Point from, cv::Point to) {
  std::vector<cv::Point> pts;
  int n = std::max(std::abs(to.x - from.x), std::abs(to.y - from.y));
  for (int i = 0; i <= n; ++i) {
    pts.emplace_back(from.x + (to.x - from.x) * i / n, from.y + (to.y - from.y) * i / n);
  }
  return pts;
}

inline std::string paramsCopy(const std::string& movieDir, const std::string& name, int mmpix,
                              double frmps) {
  return "# DUKON version: 0.07 with OpenCV\n# analyzed on: Mon Jan  1 10:00:00 2024\n\n"
         "moviedir    = " +
         movieDir + "\nmoviename   = " + name +
         "\noutdir      = /out/\nmmpix       = " + std::to_string(mmpix) +
         "\nfrmps       = " + std::to_string(frmps) +
         "\nfframe      = 0\nlframe      = 0\nignorefrm   = 3\neggs        = 0\n";
}

inline void writeText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh, empty folder under the system's temporary directory.
inline std::filesystem::path freshDir(const std::string& tag) {
  auto dir = std::filesystem::temp_directory_path() /
             ("dukon-results-" + tag + "-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace samples
}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_TEST_SAMPLES_H_

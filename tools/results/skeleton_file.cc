#include "results/skeleton_file.h"

#include <utility>

#include "results/run_file.h"

namespace dukon {
namespace results {

std::map<int, std::vector<cv::Point>> readSkeletonFile(const std::string& path, size_t records,
                                                       size_t* skipped) {
  static const std::string kFrame = "Frame number: ";
  LineFile file(path);
  if (file.size() && !file.endsWithNewline()) {
    throw file.error(file.size(), "last line has no line end (file truncated?)");
  }
  std::vector<std::pair<int, std::vector<cv::Point>>> entries;  // file order
  size_t start = 0;                                             // first entry of the latest run
  for (size_t no = 1; no <= file.size(); ++no) {
    const std::string& text = file.line(no);
    int frame = 0;
    if (text.rfind(kFrame, 0) == 0) {
      if (!parseInt(text.substr(kFrame.size()), &frame)) {
        throw file.error(no, "bad frame number '" + excerpt(text.substr(kFrame.size())) + "'");
      }
      if (!entries.empty() && frame <= entries.back().first) start = entries.size();
      entries.push_back({frame, {}});
      continue;
    }
    std::vector<std::string> xy = split(text, ',');
    cv::Point p;
    if (xy.size() != 2 || !parseInt(xy[0], &p.x) || !parseInt(xy[1], &p.y)) {
      throw file.error(no, "expected 'Frame number: N' or 'x,y', found '" + excerpt(text) + "'");
    }
    if (entries.empty()) throw file.error(no, "point before the first 'Frame number:' line");
    entries.back().second.push_back(p);
  }
  if (records != kUnknownRecords) {
    if (records > entries.size() - start) {
      throw file.error("the last run analysed " + std::to_string(records) +
                       " frames, but its block here holds " +
                       std::to_string(entries.size() - start) +
                       " entries (file cut short, or files of different runs?)");
    }
    start = entries.size() - records;
  }
  if (skipped) *skipped = start;
  std::map<int, std::vector<cv::Point>> chains;
  for (size_t i = start; i < entries.size(); ++i) {
    chains[entries[i].first] = std::move(entries[i].second);
  }
  return chains;
}

}  // namespace results
}  // namespace dukon

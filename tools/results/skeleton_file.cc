#include "results/skeleton_file.h"

#include "results/run_file.h"

namespace dukon {
namespace results {

std::map<int, std::vector<cv::Point>> readSkeletonFile(const std::string& path) {
  static const std::string kFrame = "Frame number: ";
  LineFile file(path);
  if (file.size() && !file.endsWithNewline()) {
    throw file.error(file.size(), "last line has no line end (file truncated?)");
  }
  std::map<int, std::vector<cv::Point>> chains;
  std::vector<cv::Point>* chain = nullptr;
  int previous = 0;
  for (size_t no = 1; no <= file.size(); ++no) {
    const std::string& text = file.line(no);
    int frame = 0;
    if (text.rfind(kFrame, 0) == 0) {
      if (!parseInt(text.substr(kFrame.size()), &frame)) {
        throw file.error(no, "bad frame number '" + excerpt(text.substr(kFrame.size())) + "'");
      }
      if (chain && frame <= previous) chains.clear();  // an earlier run ends here
      previous = frame;
      chain = &chains[frame];
      continue;
    }
    const std::vector<std::string> xy = split(text, ',');
    cv::Point p;
    if (xy.size() != 2 || !parseInt(xy[0], &p.x) || !parseInt(xy[1], &p.y)) {
      throw file.error(no, "expected 'Frame number: N' or 'x,y', found '" + excerpt(text) + "'");
    }
    if (!chain) throw file.error(no, "point before the first 'Frame number:' line");
    chain->push_back(p);
  }
  return chains;
}

}  // namespace results
}  // namespace dukon

#include "output/skeleton_file.h"

#include <charconv>
#include <string>

namespace dukon {

namespace {

// Appends `v` in decimal, as a default-formatted stream writes an int.
void appendInt(std::string& s, int v) {
  char digits[16];
  const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, v);
  s.append(digits, r.ptr);
}

}  // namespace

void writeSkeletons(std::ostream& os, const std::vector<SkelRecord>& records) {
  // A record's lines are put together in one buffer and handed to the
  // stream at once: a long run has hundreds of thousands of points, and
  // formatting them one by one through the stream was a noticeable share of
  // the run's time after the frame loop.
  std::string block;
  for (const SkelRecord& r : records) {
    block.assign("Frame number: ");
    appendInt(block, r.frame);
    block += '\n';
    for (const cv::Point& p : r.points) {
      appendInt(block, p.x);
      block += ',';
      appendInt(block, p.y);
      block += '\n';
    }
    os.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
}

}  // namespace dukon

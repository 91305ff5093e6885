#include "run/skipped_frames.h"

#include <sstream>

namespace dukon {

void SkippedFrames::note(int frame, FrameFault fault, const std::string& text, cv::Size size) {
  if (fault == FrameFault::kBroken) {
    if (broken++ == 0) {
      firstBroken = frame;
      brokenText = text;
    }
  } else if (fault == FrameFault::kOtherSize) {
    if (otherSize++ == 0) {
      firstOtherSize = frame;
      otherSizeSeen = size;
    }
  }
}

std::string leftOutReasons(const SkippedFrames& skipped, cv::Size movieSize, int stoppedAfter,
                           int headerCount) {
  std::ostringstream os;
  const char* sep = "";
  if (skipped.broken > 0) {
    os << skipped.broken << (skipped.broken == 1 ? " frame" : " frames")
       << " the decoder reported broken left out, the first frame " << skipped.firstBroken;
    if (!skipped.brokenText.empty()) os << " (" << skipped.brokenText << ")";
    sep = "; ";
  }
  if (skipped.otherSize > 0) {
    os << sep << skipped.otherSize << (skipped.otherSize == 1 ? " frame" : " frames")
       << " of another size than " << movieSize.width << "x" << movieSize.height
       << " left out, the first frame " << skipped.firstOtherSize << " ("
       << skipped.otherSizeSeen.width << "x" << skipped.otherSizeSeen.height << ")";
    sep = "; ";
  }
  if (stoppedAfter > 0) {
    os << sep << "the movie could not be read after frame " << stoppedAfter;
    sep = "; ";
  }
  if (headerCount > 0)
    os << sep << "the movie holds more frames than its header's " << headerCount
       << ", and those after frame " << headerCount << " cannot be read";
  return os.str();
}

}  // namespace dukon

// DebugDisplay: the "debug" window that shows each analysed frame.
//
// Left panel: the grey frame; right panel: the worm mask in black on grey 150
// with the skeleton in white, an "H" in grey 70 at the head when it is known
// and the frame number in black. Both panels are the frame scaled by the
// `debugimg` factor, but at least 256 pixels wide.
//
// The window system is touched only when a frame is shown with a non-zero
// scale. When no X server can be reached (no DISPLAY, or nothing listening
// there) or the image library has no window support, the display says once on
// the error stream that windows are off and from then on only returns.
#ifndef DUKON_RUN_DEBUG_DISPLAY_H_
#define DUKON_RUN_DEBUG_DISPLAY_H_

#include <iostream>
#include <ostream>
#include <string>

#include <opencv2/core.hpp>

#include "base/window_gate.h"

namespace dukon {

class DebugDisplay {
 public:
  // Messages go to `err`, which must outlive the object.
  explicit DebugDisplay(std::ostream& err = std::cerr) : windows_(&err) {}

  DebugDisplay(const DebugDisplay&) = delete;
  DebugDisplay& operator=(const DebugDisplay&) = delete;

  // Shows one frame in the window "debug" and waits 1 ms so it paints.
  // `bw`, `bin` and `skel` are the frame-size grey frame, mask (0/1) and
  // skeleton image (0/1), all CV_8UC1; `head` is in frame pixels and drawn
  // only when `headKnown`. A scale of 0 returns at once.
  void show(double scale, const cv::Mat& bw, const cv::Mat& bin, const cv::Mat& skel,
            cv::Point head, bool headKnown, int frameNumber);

  // The window's image, 2w x h (CV_8UC1), without any window. Empty for a
  // scale of 0 or NaN, unusable images, or panels beyond 8192 pixels.
  static cv::Mat render(double scale, const cv::Mat& bw, const cv::Mat& bin, const cv::Mat& skel,
                        cv::Point head, bool headKnown, int frameNumber);

  // Panel size for a frame of `frame` pixels at `scale`: truncated, widened
  // to 256 pixels (the height following the same scale) when narrower.
  static cv::Size panelSize(cv::Size frame, double scale);

  // True once showing was found impossible.
  bool windowsOff() const { return windows_.off(); }

 private:
  WindowGate windows_;
};

}  // namespace dukon

#endif  // DUKON_RUN_DEBUG_DISPLAY_H_

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

namespace dukon {

// Written once to the error stream when windows cannot be shown.
constexpr const char* kWindowsOffMessage = "no display: windows are off\n";

// True when something accepts connections at the X display `display` (a
// DISPLAY value such as ":0", "unix:1.0" or "host:10.0"). Opens and closes
// one socket, with a short timeout for remote hosts; speaks no X protocol.
bool xDisplayReachable(const std::string& display);

// True when the DISPLAY of the environment is set and reachable: only then
// may the image library's windows be used (its Qt back end aborts the
// process when it cannot connect).
bool environmentDisplayReachable();

// Whether the image library's windows may be used in this run, probed once:
// the first query checks the environment's display, and a failure met later
// (turnOff) is remembered. With a stream, turning off writes
// kWindowsOffMessage to it once.
class WindowGate {
 public:
  // `err`, when given, must outlive the object.
  explicit WindowGate(std::ostream* err = nullptr) : err_(err) {}

  bool available();
  void turnOff();
  bool off() const { return state_ == State::kOff; }

 private:
  enum class State { kUnknown, kOn, kOff };
  std::ostream* err_;
  State state_ = State::kUnknown;
};

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

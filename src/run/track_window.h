// TrackWindow: the track's windows. "out" shows each usable frame live where
// the track canvas draws it (the grey frame shrunk into its canvas region on
// white, with the frame number); "Track" shows the finished track image.
//
// Both are optional: with debugimg 0, without a display, or in a build
// without window support they show nothing and never wait.
#ifndef DUKON_RUN_TRACK_WINDOW_H_
#define DUKON_RUN_TRACK_WINDOW_H_

#include <opencv2/core.hpp>

#include "base/window_gate.h"

namespace dukon {

class TrackWindow {
 public:
  // `debugimg`: the windows' scale setting; 0 shows none.
  explicit TrackWindow(double debugimg) : on_(debugimg != 0.0) {}
  TrackWindow(const TrackWindow&) = delete;
  TrackWindow& operator=(const TrackWindow&) = delete;

  // Shows one usable frame in "out": `bw` (grey frame, 8-bit) shrunk into
  // `region` of a white frame-size view, and `frameNumber` formatted "%3d".
  // Waits 1 ms so the window paints.
  void showFrame(const cv::Mat& bw, cv::Rect region, int frameNumber);

  // The live view showFrame() shows, without any window; empty when `bw` is
  // not 8-bit one-channel or `region` does not lie inside it.
  static cv::Mat liveView(const cv::Mat& bw, cv::Rect region, int frameNumber);

  // Shows the finished track image in "Track" and waits for a key, but only
  // when a person at a terminal can answer (see canWaitForKey); otherwise
  // the window is painted and the run goes on.
  void showTrack(const cv::Mat& trackImg);

  // True when a blocking key wait can be answered: a display exists and
  // standard input is a terminal. An unattended run never waits.
  static bool canWaitForKey();

 private:
  bool on_;
  WindowGate windows_;  // silent: the track's windows are optional
};

}  // namespace dukon

#endif  // DUKON_RUN_TRACK_WINDOW_H_

// Track: the worm's stage position from frame to frame, the usable-frame
// test, and the world canvas that becomes the track image track.bmp.
//
// The stage position is kept in frame pixels (stage mm x mmpixstage, or the
// accumulated image motion). The canvas has the frame's size; world positions
// are shrunk into it by `scale` (frame pixels per canvas pixel) so that one
// frame plus the whole stage range fits. Each usable frame adds its shrunk
// worm mask to the canvas; finish() turns the counts into a white picture
// with the path in grey, a 1 mm scale bar, optional start/end marks and the
// verified eggs.
#ifndef DUKON_SEGMENT_TRACK_H_
#define DUKON_SEGMENT_TRACK_H_

#include <iostream>
#include <ostream>
#include <string>

#include <opencv2/core.hpp>

#include "base/window_gate.h"

namespace dukon {

class EggList;
class Params;
class StageUtil;

// The settings the track uses.
struct TrackSettings {
  double rate = 0.0;    // frames per second
  int stageskip = 1;    // stage-sample spacing, frames, beyond which a frame is usable
  int mmpixstage = 1;   // pixels per mm of stage travel
  int mmpix = 1;        // frame pixels per mm, for the scale bar
  double shade = 0.2;   // least darkening factor of the trace
  bool star = false;    // start and end marks
  double debugimg = 0;  // scale of the windows; 0: none
  bool verbose = false;
};
// The track's settings from the parameters, at the run's frame rate.
TrackSettings trackSettings(const Params& prms, double rate);

// A frame's stage position in frame pixels, and whether the frame is usable
// for tracking (the stage is not about to move).
struct StagePosition {
  cv::Point loc;
  bool usable = false;
};

class Track {
 public:
  // width, height: the frame size in pixels. `stage` must outlive the track
  // and is rewound here. When verbose the scale is reported on `con`.
  Track(int width, int height, StageUtil* stage, const TrackSettings& settings,
        std::ostream& con = std::cout);
  Track(const Track&) = delete;
  Track& operator=(const Track&) = delete;

  // Stage-log mode: walks the stage cursor to the frame time (ms) and gives
  // the stage position; the frame is usable when the next stage sample is
  // more than stageskip frame intervals away.
  StagePosition addStagePosition(double timeMs);
  // Image-motion mode: moves the stage position against the image shift
  // (pixels) and gives it; same usable test.
  StagePosition addImageMotion(cv::Point shift, double timeMs);

  // Draws one usable frame: `bin` (worm mask 0/1) into the canvas and `bw`
  // (grey frame) into the live view, both 8-bit of the frame size; `mid` is
  // the worm's middle point in frame pixels. With debugimg and a display the
  // live view is shown in the window "out".
  void update(const cv::Mat& bin, const cv::Mat& bw, int frameNumber, cv::Point mid);

  // Once, after the frame loop: makes the track image, lists the verified
  // eggs of `eggs` (may be null) on `con`, shows the "Track" window with
  // debugimg (waiting for a key only when a display exists and standard
  // input is a terminal) and saves the image to `path` (the run's
  // "track.bmp"). `frameSpan` is the run's length in frames (see
  // FrameRange::span); over short runs the trace is darker. A failed save is
  // reported on `err` and gives false.
  bool finish(const EggList* eggs, int frameSpan, const std::string& path,
              std::ostream& con = std::cout, std::ostream& err = std::cerr);

  double scale() const { return scale_; }
  double canvasPxPerMm() const { return canvasPxPerMm_; }
  cv::Size smallSize() const { return cv::Size(smallW_, smallH_); }
  const cv::Mat& canvas() const { return canvas_; }
  // The image finish() made; empty before.
  const cv::Mat& trackImage() const { return trackImg_; }
  cv::Point start() const { return cv::Point(startX_, startY_); }
  cv::Point last() const { return cv::Point(lastX_, lastY_); }
  cv::Point stagePx() const { return cv::Point(xLocPx_, yLocPx_); }

  // True when windows can be opened: DISPLAY names an X server that accepts
  // connections (probed before the image library touches it, since its
  // window back end may abort the process otherwise).
  static bool displayAvailable();
  // True when a blocking key wait can be answered: a display exists and
  // standard input is a terminal. An unattended run never waits.
  static bool canWaitForKey();

 private:
  StagePosition position(double timeMs) const;
  double shadeFactor(int frameSpan) const;
  void drawMarks(const EggList* eggs, std::ostream& con);
  void showAndWait();

  const TrackSettings settings_;
  int width_;
  int height_;
  double scale_ = 1.0;
  double canvasPxPerMm_ = 1.0;
  int smallW_ = 1;
  int smallH_ = 1;
  cv::Mat smallMask_;  // 8-bit, the shrunk worm mask
  cv::Mat smallGrey_;  // 8-bit, the shrunk grey frame
  cv::Mat canvas_;     // 32-bit signed, frame size: usable frames per pixel
  int startX_ = -1, startY_ = -1;
  int lastX_ = -1, lastY_ = -1;
  cv::Mat display_;  // 8-bit, frame size: the live view
  // The stage log; only the track moves its cursor.
  StageUtil* stage_;
  int xLocPx_ = 0, yLocPx_ = 0;
  cv::Mat trackImg_;
  WindowGate windows_;  // silent: the track's windows are optional
};

}  // namespace dukon

#endif  // DUKON_SEGMENT_TRACK_H_

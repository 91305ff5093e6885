// TrackImage: the world canvas of the worm's path and the track image
// track.bmp made from it (docs/formats/track.md).
//
// The canvas has the frame's size; world positions (frame pixels plus the
// stage position) are shrunk into it by `scale` (frame pixels per canvas
// pixel) so that one frame plus the whole stage range fits. Each usable
// frame adds its shrunk worm mask to the canvas; render() turns the counts
// into a white picture with the path in grey, a 1 mm scale bar, optional
// start/end marks and the verified eggs.
#ifndef DUKON_OUTPUT_TRACK_IMAGE_H_
#define DUKON_OUTPUT_TRACK_IMAGE_H_

#include <iostream>
#include <ostream>
#include <string>

#include <opencv2/core.hpp>

namespace dukon {

class EggList;
class Params;

// The settings the track image uses.
struct TrackImageSettings {
  int mmpixstage = 1;  // pixels per mm of stage travel
  int mmpix = 1;       // frame pixels per mm, for the scale bar
  double shade = 0.2;  // least darkening factor of the trace
  bool star = false;   // start and end marks
  bool verbose = false;
};
// The track image's settings from the parameters.
TrackImageSettings trackImageSettings(const Params& prms);

class TrackImage {
 public:
  // width, height: the frame size in pixels; `rangeMm`: the stage travel in
  // the analysed window, mm. When verbose the scale is reported on `con`.
  // Throws FatalError for a frame without pixels.
  TrackImage(int width, int height, cv::Point2d rangeMm, const TrackImageSettings& settings,
             std::ostream& con = std::cout);
  TrackImage(const TrackImage&) = delete;
  TrackImage& operator=(const TrackImage&) = delete;

  // The canvas region a frame at stage position `stagePx` (frame pixels) is
  // drawn into: shrunk by `scale` and kept inside the canvas, so a position
  // far outside the stage range is drawn at the canvas edge.
  cv::Rect frameRegion(cv::Point stagePx) const;

  // Adds one usable frame: `bin` (worm mask 0/1, 8-bit, frame size) at stage
  // position `stagePx`; `mid` is the worm's middle point in frame pixels,
  // for the start and end marks. A mask of another size or type is ignored.
  void addFrame(const cv::Mat& bin, cv::Point stagePx, cv::Point mid);

  // Once, after the frame loop: makes the track image with its marks and the
  // verified eggs of `eggs` (may be null). `frameSpan` is the run's length
  // in frames (see FrameRange::span); over short runs the trace is darker.
  // The canvas is consumed.
  const cv::Mat& render(const EggList* eggs, int frameSpan);

  // Saves the rendered image to `path` (the run's "track.bmp"). A failure is
  // reported on `err` and gives false.
  bool save(const std::string& path, std::ostream& err = std::cerr) const;

  double scale() const { return scale_; }
  double canvasPxPerMm() const { return canvasPxPerMm_; }
  cv::Size smallSize() const { return cv::Size(smallW_, smallH_); }
  const cv::Mat& canvas() const { return canvas_; }
  // The image render() made; empty before.
  const cv::Mat& trackImage() const { return trackImg_; }
  cv::Point start() const { return cv::Point(startX_, startY_); }
  cv::Point last() const { return cv::Point(lastX_, lastY_); }

 private:
  double shadeFactor(int frameSpan) const;
  void drawMarks(const EggList* eggs);

  const TrackImageSettings settings_;
  int width_;
  int height_;
  double scale_ = 1.0;
  double canvasPxPerMm_ = 1.0;
  int smallW_ = 1;
  int smallH_ = 1;
  cv::Mat smallMask_;  // 8-bit, the shrunk worm mask
  cv::Mat canvas_;     // 32-bit signed, frame size: usable frames per pixel
  int startX_ = -1, startY_ = -1;
  int lastX_ = -1, lastY_ = -1;
  cv::Mat trackImg_;
};

}  // namespace dukon

#endif  // DUKON_OUTPUT_TRACK_IMAGE_H_

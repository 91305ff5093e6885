// Drawing of one annotated frame.
//
// The canvas is the movie frame scaled by the chosen factor with a banner
// above it. The banner's first line holds the frame number, the movie time
// and the movement class; the second a chip in the state's colour with the
// state's name, and what the state means (for a fitted centreline: its
// mismatch). On the frame: the skeleton chain in the state's colour, the
// fitted centreline in cyan, a red disc on the head and a blue disc on the
// tail (of the fitted centreline where there is one, else of a valid
// skeleton), and a scale bar.
#ifndef DUKON_OVERLAY_OVERLAY_DRAWING_H_
#define DUKON_OVERLAY_OVERLAY_DRAWING_H_

#include <string>

#include <opencv2/core.hpp>

#include "overlay/frame_annotation.h"

namespace dukon {
namespace overlay {

// Colours, BGR.
extern const cv::Scalar kHeadColour;    // pure red
extern const cv::Scalar kTailColour;    // blue
extern const cv::Scalar kFittedColour;  // cyan: a centreline fitted where the chain failed
cv::Scalar stateColour(FrameState state);

// Sizes of the annotated frame for one movie.
struct OverlayLayout {
  cv::Size image;             // the scaled movie frame, both sides even
  int bannerHeight = 0;       // pixels above the image, even
  double fontScale = 0.5;     // of the banner text
  double sx = 1.0, sy = 1.0;  // canvas pixels per frame pixel, per axis

  cv::Size canvas() const { return {image.width, image.height + bannerHeight}; }
  cv::Rect imageArea() const { return {0, bannerHeight, image.width, image.height}; }
  // Canvas position of the centre of frame pixel `p`.
  cv::Point2d toCanvas(cv::Point2d p) const;
};

// Layout for frames of size `movieFrame` scaled by `scale` (> 0). Both
// sides of the canvas are even, as the H.264 encoder needs.
OverlayLayout makeLayout(cv::Size movieFrame, double scale);

// Text of the banner's first line, e.g. "frame 120   3.967 s   forward".
std::string frameLine(const FrameAnnotation& a, double timeMs);

// Draws movie frame `frame` (8-bit BGR or grey, of the size the layout was
// made for) annotated with `a` into `canvas` (made the layout's canvas
// size). `timeMs` is the frame's movie time; `mmpix` sizes the scale bar
// (none when 0).
void drawOverlay(const cv::Mat& frame, const FrameAnnotation& a, double timeMs,
                 const OverlayLayout& layout, int mmpix, cv::Mat* canvas);

}  // namespace overlay
}  // namespace dukon

#endif  // DUKON_OVERLAY_OVERLAY_DRAWING_H_

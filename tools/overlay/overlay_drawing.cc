#include "overlay/overlay_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace dukon {
namespace overlay {

const cv::Scalar kHeadColour(0, 0, 255);
const cv::Scalar kTailColour(255, 110, 0);
const cv::Scalar kFittedColour(255, 255, 0);

namespace {

const cv::Scalar kBanner(32, 32, 32);
const cv::Scalar kWhite(255, 255, 255);
const cv::Scalar kBlack(0, 0, 0);
const int kFont = cv::FONT_HERSHEY_SIMPLEX;
// Drawing with sub-pixel positions: coordinates carry this many fraction bits.
const int kShift = 4;

int evenAtLeast2(double v) {
  return std::max(2, 2 * static_cast<int>(std::lround(v / 2.0)));
}

cv::Point subpixel(cv::Point2d p) {
  return {static_cast<int>(std::lround(p.x * (1 << kShift))),
          static_cast<int>(std::lround(p.y * (1 << kShift)))};
}

int textHeight(double fontScale) {
  int baseline = 0;
  return cv::getTextSize("Ag", kFont, fontScale, 1, &baseline).height + baseline;
}

// Text with a dark outline, legible on the bright plate and the dark body.
void outlinedText(cv::Mat* img, const std::string& text, cv::Point at, double fontScale) {
  int t = std::max(1, static_cast<int>(std::lround(fontScale * 1.5)));
  // A thinner outline keeps small letters open.
  cv::putText(*img, text, at, kFont, fontScale, kBlack, t + (fontScale < 0.6 ? 1 : 2), cv::LINE_AA);
  cv::putText(*img, text, at, kFont, fontScale, kWhite, t, cv::LINE_AA);
}

std::string movementText(const FrameAnnotation& a) {
  if (a.state == FrameState::kIgnored || a.state == FrameState::kNotAnalysed) return "";
  std::string text = a.movement.name.empty() ? "no movement class" : a.movement.name;
  if (a.movement.reversal) text += ", reversal starts";
  return text;
}

// What the state means, or for a frame with a fitted centreline (which has
// a head and a tail, whatever its chain) "centreline fitted, mismatch 0.031".
std::string explanation(const FrameAnnotation& a) {
  if (a.fitted.empty()) return stateExplanation(a.state);
  char text[64];
  std::snprintf(text, sizeof text, "centreline fitted, mismatch %.3f", a.fitError);
  return text;
}

void drawBanner(const FrameAnnotation& a, double timeMs, const OverlayLayout& l, cv::Mat* c) {
  cv::rectangle(*c, cv::Rect(0, 0, l.image.width, l.bannerHeight), kBanner, cv::FILLED);
  const int pad = std::max(3, textHeight(l.fontScale) / 3);
  const int lineH = textHeight(l.fontScale);
  const int t = std::max(1, static_cast<int>(std::lround(l.fontScale * 1.5)));
  int baseline = 0;
  cv::Size glyph = cv::getTextSize("Ag", kFont, l.fontScale, t, &baseline);
  cv::putText(*c, frameLine(a, timeMs), cv::Point(pad, pad + glyph.height), kFont, l.fontScale,
              kWhite, t, cv::LINE_AA);
  // Second line: the state chip, then what the state means.
  const std::string name = stateName(a.state);
  // Bold where the letters are big enough to stay open.
  const int bold = l.fontScale < 0.6 ? t : t + 1;
  cv::Size nameSize = cv::getTextSize(name, kFont, l.fontScale, bold, &baseline);
  const int chipTop = 2 * pad + lineH - pad / 2;
  cv::Rect chip(pad, chipTop, nameSize.width + 2 * pad, lineH + pad);
  cv::rectangle(*c, chip, stateColour(a.state), cv::FILLED);
  cv::putText(*c, name, cv::Point(chip.x + pad, chip.y + pad / 2 + glyph.height), kFont,
              l.fontScale, kBlack, bold, cv::LINE_AA);
  cv::putText(*c, explanation(a), cv::Point(chip.br().x + pad, chip.y + pad / 2 + glyph.height),
              kFont, l.fontScale * 0.9, kWhite, t, cv::LINE_AA);
}

void drawEndMark(cv::Mat* img, cv::Point2d at, int radius, const cv::Scalar& colour,
                 const char* letter, double fontScale) {
  cv::circle(*img, subpixel(at), radius << kShift, colour, cv::FILLED, cv::LINE_AA, kShift);
  cv::circle(*img, subpixel(at), (radius + 1) << kShift, kWhite, 1, cv::LINE_AA, kShift);
  cv::Point label(static_cast<int>(at.x) + radius + 3, static_cast<int>(at.y) - radius - 2);
  outlinedText(img, letter, label, fontScale);
}

// Draws into the image area only, so that marks near the frame's top edge
// do not spill into the banner.
void drawChain(const FrameAnnotation& a, const OverlayLayout& l, cv::Mat* canvas) {
  cv::Mat roi = (*canvas)(l.imageArea());
  cv::Mat* img = &roi;
  const cv::Point2d offset(0, l.bannerHeight);
  const double s = std::min(l.sx, l.sy);
  const int thickness = std::max(1, static_cast<int>(std::lround(2.0 * s)));
  auto line = [&](const std::vector<cv::Point2d>& points, const cv::Scalar& colour) {
    std::vector<cv::Point> pts;
    pts.reserve(points.size());
    for (const cv::Point2d& p : points) pts.push_back(subpixel(l.toCanvas(p) - offset));
    cv::polylines(*img, pts, false, colour, thickness, cv::LINE_AA, kShift);
  };
  if (a.chain.size() > 1) line({a.chain.begin(), a.chain.end()}, stateColour(a.state));
  // A fitted centreline is the frame's centreline: it carries head and tail.
  const bool fitted = a.fitted.size() > 1;
  if (fitted) line(a.fitted, kFittedColour);
  if (!a.hasEnds && !fitted) return;
  const cv::Point2d head = fitted ? a.fitted.front() : cv::Point2d(a.head);
  const cv::Point2d tail = fitted ? a.fitted.back() : cv::Point2d(a.tail);
  const int radius = std::max(3, static_cast<int>(std::lround(6.0 * s)));
  const double letterScale = std::max(0.35, 0.8 * l.fontScale);
  drawEndMark(img, l.toCanvas(tail) - offset, std::max(2, radius * 3 / 4), kTailColour, "T",
              letterScale);
  drawEndMark(img, l.toCanvas(head) - offset, radius, kHeadColour, "H", letterScale);
}

// A bar of a round length near a fifth of the image width, bottom left.
void drawScaleBar(int mmpix, const OverlayLayout& l, cv::Mat* c) {
  if (mmpix <= 0) return;
  static const double kLengthsMm[] = {10, 5, 2, 1, 0.5, 0.2, 0.1, 0.05, 0.02, 0.01};
  const double pxPerMm = mmpix * l.sx;
  double mm = 0;
  for (double len : kLengthsMm) {
    if (len * pxPerMm <= 0.22 * l.image.width) {
      mm = len;
      break;
    }
  }
  if (mm == 0 || mm * pxPerMm < 4) return;
  const int margin = std::max(6, l.image.height / 40);
  const int y = l.bannerHeight + l.image.height - margin;
  const int x0 = margin, x1 = margin + static_cast<int>(std::lround(mm * pxPerMm));
  const int t = std::max(2, l.image.height / 160);
  cv::line(*c, {x0, y}, {x1, y}, kBlack, t + 2);
  cv::line(*c, {x0, y}, {x1, y}, kWhite, t);
  char text[32];
  std::snprintf(text, sizeof text, "%g mm", mm);
  outlinedText(c, text, {x0, y - t - 6}, std::max(0.35, 0.8 * l.fontScale));
}

}  // namespace

cv::Scalar stateColour(FrameState state) {
  switch (state) {
    case FrameState::kConsistent:
      return {70, 200, 60};
    case FrameState::kGood:
      return {0, 200, 255};
    case FrameState::kLoop:
      return {220, 80, 220};
    case FrameState::kRejected:
      return {60, 60, 235};
    case FrameState::kIgnored:
      return {170, 170, 170};
    case FrameState::kNotAnalysed:
      return {110, 110, 110};
  }
  return kWhite;
}

cv::Point2d OverlayLayout::toCanvas(cv::Point2d p) const {
  return {(p.x + 0.5) * sx - 0.5, (p.y + 0.5) * sy - 0.5 + bannerHeight};
}

OverlayLayout makeLayout(cv::Size movieFrame, double scale) {
  OverlayLayout l;
  l.image =
      cv::Size(evenAtLeast2(movieFrame.width * scale), evenAtLeast2(movieFrame.height * scale));
  l.sx = static_cast<double>(l.image.width) / movieFrame.width;
  l.sy = static_cast<double>(l.image.height) / movieFrame.height;
  // Text of about 1/60 of the width, never below what stays legible.
  l.fontScale = std::clamp(l.image.width / 1000.0, 0.4, 1.6);
  const int lineH = textHeight(l.fontScale);
  const int pad = std::max(3, lineH / 3);
  l.bannerHeight = evenAtLeast2(2 * lineH + 4 * pad);
  return l;
}

std::string frameLine(const FrameAnnotation& a, double timeMs) {
  char text[96];
  std::snprintf(text, sizeof text, "frame %d   %.3f s", a.frame, timeMs / 1000.0);
  std::string line = text;
  std::string movement = movementText(a);
  if (!movement.empty()) line += "   " + movement;
  return line;
}

void drawOverlay(const cv::Mat& frame, const FrameAnnotation& a, double timeMs,
                 const OverlayLayout& layout, int mmpix, cv::Mat* canvas) {
  canvas->create(layout.canvas(), CV_8UC3);
  cv::Mat image = (*canvas)(layout.imageArea());
  cv::Mat bgr;
  if (frame.channels() == 1) {
    cv::cvtColor(frame, bgr, cv::COLOR_GRAY2BGR);
  } else {
    bgr = frame;
  }
  const bool shrink = layout.sx < 1.0 || layout.sy < 1.0;
  cv::resize(bgr, image, layout.image, 0, 0, shrink ? cv::INTER_AREA : cv::INTER_LINEAR);
  drawBanner(a, timeMs, layout, canvas);
  drawScaleBar(mmpix, layout, canvas);
  drawChain(a, layout, canvas);
}

}  // namespace overlay
}  // namespace dukon

#include "stage/image_motion.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <sstream>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "base/fatal_error.h"

namespace dukon {
namespace {

constexpr int kStep = 4;
constexpr int kRange = 20;

// A textured plate, larger than a frame, from which frames are cut at stage
// positions: the frame at (ox, oy) shows the plate from (ox, oy) on.
cv::Mat makePlate(int w, int h, unsigned seed) {
  cv::RNG rng(seed);
  cv::Mat fine(h, w, CV_32F), coarse(h, w, CV_32F);
  rng.fill(fine, cv::RNG::NORMAL, 0.0, 8.0);
  rng.fill(coarse, cv::RNG::NORMAL, 0.0, 60.0);
  cv::GaussianBlur(coarse, coarse, cv::Size(0, 0), 6.0);
  cv::GaussianBlur(fine, fine, cv::Size(0, 0), 0.8);
  cv::Mat plate;
  cv::Mat(fine + coarse + 170.0).convertTo(plate, CV_8U);
  return plate;
}

struct Frame {
  cv::Mat bw;
  cv::Rect box;  // the worm's bounding box (inclusive corners as x..x+w-1)
};

// The frame at stage position (ox, oy) with a dark worm at `worm`.
Frame frameAt(const cv::Mat& plate, int ox, int oy, cv::Point worm, int w = 640, int h = 480) {
  Frame f;
  f.bw = plate(cv::Rect(ox, oy, w, h)).clone();
  cv::ellipse(f.bw, worm, cv::Size(60, 12), 30.0, 0.0, 360.0, cv::Scalar(40), cv::FILLED);
  f.box = cv::boundingRect(f.bw < 60);
  return f;
}

// The worm's box of frame `f` as the segmenter gives it.
WormBox boxOf(const Frame& f) {
  return WormBox{f.box.x, f.box.y, f.box.x + f.box.width - 1, f.box.y + f.box.height - 1};
}

std::optional<cv::Point> find(ImageMotion& m, const Frame& f, std::ostream& out) {
  return m.findMovement(f.bw, boxOf(f), out);
}

// A shift that is applied.
std::optional<cv::Point> applied(int x, int y) {
  return cv::Point(x, y);
}

// The search as plainly written: whole-window masked sums of absolute
// differences for every candidate, no early exit. The fast search must agree
// with it exactly.
class PlainMotion {
 public:
  PlainMotion(int step, int range, int w, int h)
      : step_(step), range_(range), iw_(w - 2 * range), ih_(h - 2 * range) {}

  bool find(int& xMov, int& yMov, const cv::Mat& bw, cv::Rect box) {
    xMov = yMov = 0;
    if (first_) {
      first_ = false;
      renew(bw, box);
      return true;
    }
    const int side = 2 * range_ + 1;
    cv::Mat scores(side, side, CV_64F, cv::Scalar(-1));
    double best = 9999999;
    int bx = range_, by = range_;
    auto consider = [&](int sx, int sy) {
      cv::absdiff(bw(cv::Rect(sx, sy, iw_, ih_)), prev_(cv::Rect(range_, range_, iw_, ih_)), diff_);
      cv::multiply(diff_, mask_, diff_);
      const double m = cv::sum(diff_)[0];
      scores.at<double>(sy, sx) = m;
      if (m < best) {
        best = m;
        bx = sx;
        by = sy;
      }
    };
    for (int sy = 0; sy < side; sy += step_)
      for (int sx = 0; sx < side; sx += step_) consider(sx, sy);
    const int y0 = std::max(by - step_, 0), y1 = std::min(by + step_, side);
    const int x0 = std::max(bx - step_, 0), x1 = std::min(bx + step_, side);
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (scores.at<double>(y, x) == -1) consider(x, y);
    xMov = bx - range_;
    yMov = by - range_;
    if ((xMov != 0 || yMov != 0) && std::abs(xMov) + std::abs(yMov) < 6) return false;
    renew(bw, box);
    return true;
  }

 private:
  void renew(const cv::Mat& bw, cv::Rect box) {
    prev_ = bw.clone();
    mask_ = cv::Mat(ih_, iw_, CV_8U, cv::Scalar(1));
    const int x = std::max(box.x - 3 - range_, 0), y = std::max(box.y - 3 - range_, 0);
    const int w = std::min(box.width - 1 + 6, iw_ - x), h = std::min(box.height - 1 + 6, ih_ - y);
    if (w > 0 && h > 0) mask_(cv::Rect(x, y, w, h)).setTo(0);
  }

  bool first_ = true;
  int step_, range_, iw_, ih_;
  cv::Mat prev_, mask_, diff_;
};

TEST(ImageMotionTest, FirstFrameAndApplyThreshold) {
  const cv::Mat plate = makePlate(800, 640, 1);
  ImageMotion m(kStep, kRange, 640, 480);
  std::ostringstream out;
  EXPECT_EQ(find(m, frameAt(plate, 50, 50, {300, 200}), out), applied(0, 0));
  EXPECT_EQ(out.str(), "");

  // The stage moves by (-2, -3): the content moves by (2, 3), too little.
  EXPECT_EQ(find(m, frameAt(plate, 48, 47, {310, 200}), out), std::nullopt);
  EXPECT_EQ(out.str(), "found relative movement of x=2 y=3\n");
  // The reference was kept: the next frame is measured against the first,
  // and (3, 3) is applied.
  out.str("");
  EXPECT_EQ(find(m, frameAt(plate, 47, 47, {320, 200}), out), applied(3, 3));
  EXPECT_EQ(out.str(), "found relative movement of x=3 y=3\n");
  // ... and now renewed: no movement, nothing printed, applied.
  out.str("");
  EXPECT_EQ(find(m, frameAt(plate, 47, 47, {330, 205}), out), applied(0, 0));
  EXPECT_EQ(out.str(), "");
}

TEST(ImageMotionTest, ShiftsAtTheSearchLimitAreFound) {
  const cv::Mat plate = makePlate(800, 640, 2);
  std::ostringstream out;
  const cv::Point moves[] = {{20, 20}, {-20, -20}, {20, -20}, {-20, 17}, {-13, 0}};
  for (cv::Point d : moves) {
    ImageMotion m(kStep, kRange, 640, 480);
    find(m, frameAt(plate, 60, 60, {200, 300}), out);
    EXPECT_EQ(find(m, frameAt(plate, 60 + d.x, 60 + d.y, {210, 300}), out), applied(-d.x, -d.y));
  }
}

// On a large frame sensor noise alone sums to more than the limit that suits
// a 640 x 480 frame; the limit grows with the window, so the shift is found.
TEST(ImageMotionTest, LargeNoisyFramesStillFindTheShift) {
  const cv::Mat plate = makePlate(1400, 1100, 4);
  cv::RNG rng(5);
  auto noisy = [&rng](Frame f) {
    cv::Mat noise(f.bw.size(), CV_16S);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, 12.0);
    cv::Mat sum;
    cv::add(f.bw, noise, sum, cv::noArray(), CV_16S);
    sum.convertTo(f.bw, CV_8U);
    return f;
  };
  std::ostringstream out;
  ImageMotion m(kStep, kRange, 1280, 960);
  find(m, noisy(frameAt(plate, 60, 60, {400, 500}, 1280, 960)), out);
  EXPECT_EQ(find(m, noisy(frameAt(plate, 72, 57, {410, 500}, 1280, 960)), out), applied(-12, 3));
}

TEST(ImageMotionTest, WormBoxIsClippedToTheWindow) {
  ImageMotion m(kStep, kRange, 640, 480);
  cv::Mat bw(480, 640, CV_8UC1, cv::Scalar(100));
  std::ostringstream out;
  // Near the top-left corner the origin is clamped at 0, the size kept.
  m.findMovement(bw, WormBox{5, 2, 30, 12}, out);
  EXPECT_EQ(m.wormRect(), cv::Rect(0, 0, 31, 16));
  // Near the far corner the box is cut at the window's edge (600 x 440).
  m.findMovement(bw, WormBox{600, 430, 639, 479}, out);
  EXPECT_EQ(m.wormRect(), cv::Rect(577, 407, 23, 33));
  cv::Mat mask = m.mask();
  EXPECT_EQ(mask.size(), cv::Size(600, 440));
  EXPECT_EQ(cv::countNonZero(mask), 600 * 440 - 23 * 33);
  // A box entirely beyond the window, and the empty box (-1 corners).
  m.findMovement(bw, WormBox{630, 470, 639, 479}, out);
  EXPECT_TRUE(m.wormRect().empty());
  m.findMovement(bw, WormBox{}, out);
  EXPECT_EQ(m.wormRect(), cv::Rect(0, 0, 6, 6));
  // Absurd values neither overflow nor escape the window.
  m.findMovement(bw, WormBox{-2000000000, -2000000000, 2000000000, 2000000000}, out);
  EXPECT_EQ(m.wormRect(), cv::Rect(0, 0, 600, 440));
}

TEST(ImageMotionTest, SmallFramesAreRefusedAndWrongFramesSkipped) {
  EXPECT_THROW(ImageMotion(kStep, kRange, 40, 480), FatalError);
  EXPECT_THROW(ImageMotion(kStep, kRange, 640, 40), FatalError);
  EXPECT_THROW(ImageMotion(0, kRange, 640, 480), FatalError);
  try {
    ImageMotion(kStep, kRange, 30, 20);
    FAIL() << "a 30x20 frame was accepted";
  } catch (const FatalError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Frame size 30x20 is too small for image-based stage motion: both sides must "
              "exceed 40 pixels (twice the search range of 20)\n");
  }
  ImageMotion m(kStep, kRange, 41, 41);  // the smallest frame taken
  cv::Mat tiny(41, 41, CV_8UC1, cv::Scalar(9));
  std::ostringstream out;
  const WormBox box{0, 0, 5, 5};
  EXPECT_EQ(m.findMovement(tiny, box, out), applied(0, 0));
  // A featureless frame matches every shift equally: the first candidate of
  // the grid wins.
  EXPECT_EQ(m.findMovement(tiny, box, out), applied(-20, -20));
  cv::Mat wrong(40, 41, CV_8UC1, cv::Scalar(9));
  EXPECT_EQ(m.findMovement(wrong, box, out), std::nullopt);
}

// Random walks of the stage and the worm: the fast search gives the same
// answers as the plain one, frame after frame.
class ImageMotionVectorsTest : public ::testing::TestWithParam<ImageMotion::Vectors> {};
INSTANTIATE_TEST_SUITE_P(BothPaths, ImageMotionVectorsTest,
                         ::testing::Values(ImageMotion::Vectors::kWidest,
                                           ImageMotion::Vectors::kBaseline));

TEST_P(ImageMotionVectorsTest, SameResultsAsPlainSearch) {
  const cv::Mat plate = makePlate(900, 700, 3);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> step(-9, 9);
  ImageMotion fast(kStep, kRange, 640, 480, GetParam());
  PlainMotion plain(kStep, kRange, 640, 480);
  int ox = 120, oy = 110;
  cv::Point worm(320, 240);
  int appliedCount = 0;
  for (int i = 0; i < 40; ++i) {
    ox = std::clamp(ox + step(rng) * (i % 3 == 0 ? 2 : 1), 0, 900 - 640);
    oy = std::clamp(oy + step(rng), 0, 700 - 480);
    worm.x = std::clamp(worm.x + step(rng), 70, 570);
    worm.y = std::clamp(worm.y + step(rng), 30, 450);
    Frame f = frameAt(plate, ox, oy, worm);
    if (i % 11 == 5) cv::randn(f.bw, 128, 60);  // an unrelated frame now and then
    int px = 0, py = 0;
    std::ostringstream out;
    const std::optional<cv::Point> fr = find(fast, f, out);
    const bool pr = plain.find(px, py, f.bw, f.box);
    // The shift found, applied or not, is the one the message reports.
    ASSERT_EQ(fr, pr ? applied(px, py) : std::nullopt) << "frame " << i;
    const std::string said = px != 0 || py != 0
                                 ? "found relative movement of x=" + std::to_string(px) +
                                       " y=" + std::to_string(py) + "\n"
                                 : "";
    ASSERT_EQ(out.str(), said) << "frame " << i;
    appliedCount += pr;
  }
  EXPECT_GT(appliedCount, 10);
}

// Prints findMovement's cost per 640 x 480 frame beside the cost of decoding
// the same frames from an MJPG movie.
TEST(ImageMotionTest, SpeedAgainstMjpgDecode) {
  const cv::Mat plate = makePlate(900, 700, 4);
  std::vector<Frame> frames;
  int ox = 130, oy = 110;
  for (int i = 0; i < 30; ++i) {
    ox += (i % 4) - 1;
    oy += (i % 3) - 1;
    frames.push_back(frameAt(plate, ox, oy, cv::Point(200 + 4 * i, 240)));
  }
  const std::string path = ::testing::TempDir() + "dukon_image_motion_bench.avi";
  {
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10.0,
                           cv::Size(640, 480), true);
    ASSERT_TRUE(writer.isOpened());
    for (const Frame& f : frames) {
      cv::Mat colour;
      cv::cvtColor(f.bw, colour, cv::COLOR_GRAY2BGR);
      writer.write(colour);
    }
  }
  using Clock = std::chrono::steady_clock;
  double decodeMs = 1e9, motionMs = 1e9;
  for (int rep = 0; rep < 3; ++rep) {
    cv::VideoCapture cap(path);
    ASSERT_TRUE(cap.isOpened());
    cv::Mat img;
    int n = 0;
    auto t0 = Clock::now();
    while (cap.read(img)) ++n;
    ASSERT_EQ(n, static_cast<int>(frames.size()));
    decodeMs = std::min(decodeMs,
                        std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / n);

    ImageMotion m(kStep, kRange, 640, 480);
    std::ostringstream out;
    t0 = Clock::now();
    for (const Frame& f : frames) find(m, f, out);
    motionMs =
        std::min(motionMs, std::chrono::duration<double, std::milli>(Clock::now() - t0).count() /
                               frames.size());
  }
  std::remove(path.c_str());
  std::printf("findMovement: %.2f ms/frame; MJPG decode: %.2f ms/frame (640 x 480)\n", motionMs,
              decodeMs);
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
  EXPECT_LE(motionMs, 2.0 * decodeMs);
#endif
}

}  // namespace
}  // namespace dukon

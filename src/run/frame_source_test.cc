#include "run/frame_source.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "support/executable.h"
#include "support/files.h"
#include "support/mjpeg_avi.h"

namespace dukon {
namespace {

// A movie of `frames` frames whose grey level encodes the frame index, read
// once on demand and once ahead: the same frames, numbers, times and
// console lines either way.
class FrameSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = testing_support::freshTestDir() + "/m.avi";
    testing_support::writeMovie(path_, kFrames, cv::Size(64, 48),
                                [](cv::Mat& f, int i) { f.setTo(cv::Scalar::all(5 * i)); });
  }
  static constexpr int kFrames = 30;
  std::string path_;
};

struct Fetch {
  int number;
  float time;
  double grey;
  bool operator==(const Fetch& o) const {
    return number == o.number && time == o.time && grey == o.grey;
  }
};

TEST_F(FrameSourceTest, ReadingAheadChangesNothingTheCallerSees) {
  for (bool verbose : {false, true}) {
    for (size_t depth : {size_t(1), FrameSource::kDefaultDepth}) {
      std::ostringstream outA, errA, outB, errB;
      Movie direct(path_, verbose, outA, errA), ahead(path_, verbose, outB, errB);
      direct.open();
      ahead.open();
      direct.seek(3);
      ahead.seek(3);
      std::vector<Fetch> a, b;
      cv::Mat f;
      while (direct.getFrame(f)) a.push_back({direct.position(), direct.time(), cv::mean(f)[0]});
      {
        FrameSource source(ahead, INT_MAX, depth);
        for (;;) {
          const MovieFrame& m = source.next();
          if (!m.fetched()) break;
          b.push_back({m.number(), m.time(), cv::mean(m.image)[0]});
        }
        EXPECT_FALSE(source.next().fetched());  // and so on at the end
      }
      ASSERT_EQ(a.size(), static_cast<size_t>(kFrames - 3));
      EXPECT_EQ(a.front().number, 4);
      EXPECT_TRUE(a == b) << "verbose " << verbose << ", depth " << depth;
      EXPECT_EQ(outA.str(), outB.str());
      EXPECT_EQ(errA.str(), errB.str());
    }
  }
}

// The steps run on the decoding thread: `prepare` on every frame in order,
// `ahead` on some frames while the caller lags; what they make (or throw)
// reaches the caller with its frame, and the frames and console lines are
// those of the source without them.
TEST_F(FrameSourceTest, StepsOnTheDecodingThreadReachTheirFrames) {
  for (size_t depth : {size_t(1), size_t(2), FrameSource::kDefaultDepth}) {
    std::ostringstream outA, errA, outB, errB;
    Movie plain(path_, false, outA, errA), prepared(path_, false, outB, errB);
    plain.open();
    prepared.open();
    std::vector<int> a, b;
    {
      FrameSource source(plain, 20, depth);
      for (const MovieFrame* f = &source.next(); f->fetched(); f = &source.next())
        a.push_back(f->number());
    }
    int steps = 0;  // only the decoding thread touches it until the source stops
    FrameSource source(
        prepared, 20, depth,
        [&steps](SourceFrame& f) {
          ++steps;
          if (f.number() == 7) throw std::runtime_error("step failed");
          cv::cvtColor(f.image, f.grey, cv::COLOR_BGR2GRAY);
          f.prepared = true;
        },
        [](SourceFrame& f) {
          if (f.number() == 9) throw std::runtime_error("ahead failed");
          f.first.area = cv::countNonZero(f.grey);
          f.firstMade = true;
        });
    for (;;) {
      SourceFrame& f = source.next();
      if (!f.fetched()) break;
      b.push_back(f.number());
      EXPECT_EQ(f.prepared, f.number() != 7);
      if (f.error) {
        EXPECT_TRUE(f.number() == 7 || (f.number() == 9 && !f.firstMade));
      }
      if (f.prepared) {
        cv::Mat grey;
        cv::cvtColor(f.image, grey, cv::COLOR_BGR2GRAY);
        EXPECT_EQ(cv::countNonZero(grey != f.grey), 0) << f.number();
      }
      if (f.firstMade) {
        EXPECT_EQ(f.first.area, cv::countNonZero(f.grey)) << f.number();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the decoding thread gets ahead
    }
    source.stop();
    EXPECT_EQ(a, b) << "depth " << depth;
    EXPECT_EQ(steps, 21);  // frames 1 to 21, the one beyond the last ending the loop
    EXPECT_EQ(outA.str(), outB.str());
  }
}

// The caller may stop at any frame; the decoding thread then ends without
// waiting for the movie's end, also when the source is destroyed with
// frames queued.
TEST_F(FrameSourceTest, StopsEarlyWithFramesQueued) {
  std::ostringstream out, err;
  Movie movie(path_, false, out, err);
  movie.open();
  {
    FrameSource source(movie, INT_MAX, 2);
    EXPECT_EQ(source.next().number(), 1);
    EXPECT_EQ(source.next().number(), 2);
    source.stop();
    EXPECT_FALSE(source.next().fetched());  // stopped: nothing more, nothing written
    source.stop();
  }
  { FrameSource untouched(movie); }
  EXPECT_EQ(out.str(), "#1 #2 ");
  // The movie is the caller's again.
  cv::Mat f;
  EXPECT_TRUE(movie.getFrame(f));
}

// The caller needs frames up to `lastFrame`: the source delivers the first
// frame beyond it (which ends the caller's loop) and decodes nothing more.
TEST_F(FrameSourceTest, DecodesNothingBeyondTheFrameAfterTheLast) {
  std::ostringstream out, err;
  Movie movie(path_, false, out, err);
  movie.open();
  {
    FrameSource source(movie, 5);
    for (int n = 1; n <= 6; ++n) EXPECT_EQ(source.next().number(), n);
    EXPECT_FALSE(source.next().fetched());
    EXPECT_FALSE(source.next().fetched());
  }
  EXPECT_EQ(out.str(), "#1 #2 #3 #4 #5 #6 ");
  EXPECT_EQ(movie.read().number(), 7);
}

// A damaged frame and frames of another size (two recordings joined) reach
// the caller with their fault, as reading the movie directly tells them.
TEST(FrameSourceFaults, AreThoseOfTheMovieReadDirectly) {
  const std::string path = testing_support::freshTestDir() + "/joined.avi";
  std::vector<std::string> jpegs;
  for (int i = 0; i < 8; ++i) {
    cv::Mat f(i < 5 ? cv::Size(64, 48) : cv::Size(96, 64), CV_8UC3);
    cv::randu(f, 0, 256);  // a cut leaves the header and part of the data
    const std::string j = testing_support::jpegOf(f);
    jpegs.push_back(i == 2 ? j.substr(0, j.size() / 2) : j);  // frame 3 cut short
  }
  testing_support::writeMjpegAvi(path, jpegs, 64, 48);
  const auto faults = [&path](bool ahead) {
    std::ostringstream out, err;
    Movie movie(path, false, out, err);
    movie.open();
    std::vector<std::pair<int, FrameFault>> seen;
    std::unique_ptr<FrameSource> source;
    if (ahead) source = std::make_unique<FrameSource>(movie, INT_MAX, 2);
    for (;;) {
      const MovieFrame f = ahead ? source->next() : movie.read();
      if (!f.fetched()) break;
      EXPECT_EQ(f.fault == FrameFault::kBroken, !f.faultText.empty()) << f.number();
      seen.emplace_back(f.number(), f.fault);
    }
    return seen;
  };
  const std::vector<std::pair<int, FrameFault>> direct = faults(false);
  ASSERT_EQ(direct.size(), 8u);
  EXPECT_EQ(direct[2].second, FrameFault::kBroken);
  EXPECT_EQ(direct[1].second, FrameFault::kNone);
  EXPECT_EQ(direct[5].second, FrameFault::kBroken);  // the decoder reports the new size
  EXPECT_EQ(faults(true), direct);
}

}  // namespace
}  // namespace dukon

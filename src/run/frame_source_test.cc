#include "run/frame_source.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include "support/executable.h"
#include "support/files.h"

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

}  // namespace
}  // namespace dukon

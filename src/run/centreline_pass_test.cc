#include "run/centreline_pass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace dukon {
namespace {

// Frames 1 to 5: consistent, a loop, rejected, ignored, consistent; every
// frame's stage at (10, 20).
std::vector<SkelRecord> records() {
  std::vector<SkelRecord> r(5);
  for (int i = 0; i < 5; ++i) r[i].frame = i + 1;
  for (int i : {0, 1, 4}) {
    for (int x = 0; x < 30; ++x) r[i].points.emplace_back(100 + x + i, 50);
  }
  r[0].consistent = r[4].consistent = true;
  r[1].loop = true;
  r[3].ignored = true;
  return r;
}

struct PassRun {
  std::vector<FrameCentreline> rows;
  CentrelineCounts counts;
  std::string err;
};

PassRun runPass(bool fit) {
  const std::vector<SkelRecord> recs = records();
  const std::vector<FrameNote> notes(recs.size(), FrameNote{{10, 20}, true});
  const CentrelineInput input{"/nonexistent/movie.avi", {320, 240}, SegmenterSettings(), fit};
  std::ostringstream err;
  PassRun out;
  out.counts = computeCentrelines(
      input, recs, notes, [&out](const FrameCentreline& c) { out.rows.push_back(c); }, err);
  out.err = err.str();
  return out;
}

// Every frame but the ignored one has a row, in frame order; a consistent
// frame's chain is moved into the world by its stage; the others have none.
// Without fitting the movie is not read again; with it, a movie that cannot
// be read gives no fit and says so.
TEST(CentrelinePassTest, ChainsAndGapsInFrameOrder) {
  for (bool fit : {false, true}) {
    const PassRun r = runPass(fit);
    ASSERT_EQ(r.rows.size(), 4u) << fit;
    const int frames[] = {1, 2, 3, 5};
    const CentrelineSource sources[] = {CentrelineSource::kChain, CentrelineSource::kNone,
                                        CentrelineSource::kNone, CentrelineSource::kChain};
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(r.rows[k].frame, frames[k]);
      EXPECT_EQ(r.rows[k].source, sources[k]) << frames[k];
      EXPECT_TRUE(std::isnan(r.rows[k].fitError)) << frames[k];
      EXPECT_EQ(r.rows[k].stage, cv::Point(10, 20)) << frames[k];
    }
    ASSERT_EQ(r.rows[0].line.size(), static_cast<size_t>(kCentrelinePoints));
    EXPECT_EQ(r.rows[0].line.front(), cv::Point2d(110, 70));
    EXPECT_EQ(r.rows[3].line.back(), cv::Point2d(143, 70));
    EXPECT_TRUE(r.rows[1].line.empty());
    EXPECT_EQ(r.counts.chain, 2);
    EXPECT_EQ(r.counts.none, 2);
    EXPECT_EQ(r.counts.fitted, 0);
    EXPECT_EQ(r.err, fit ? "Centrelines: 2 frames could not be read again from "
                           "/nonexistent/movie.avi\n"
                         : "");
  }
}

}  // namespace
}  // namespace dukon

#include "run/centreline_pass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <utility>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "skeleton/body_model.h"
#include "support/crawling.h"
#include "support/files.h"
#include "support/worm_bodies.h"

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

// A lossless movie of a worm (grey 40 on 200) crawling along a sine path
// and its records: consistent frames with the true centreline's chain, and
// four gaps; one ignored frame in a gap, one among the chains. Gap frames
// also show a dark disc larger than the worm. While the segmenter's mean
// area is the worm's (records up to frame 11) a threshold mask holding both
// is refused and the worm, found from the edges, is fitted; the records
// from frame 15 on say 4 times that area, so from the gap at frame 21 on
// (and everywhere without means) the disc wins and no fit is accepted.
class CrawlMovie {
 public:
  CrawlMovie() : path_(testing_support::freshTestDir() + "/crawl.avi") {
    const BodyModel body = testing_support::testModel(120, 7);
    cv::VideoWriter w(path_, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('F', 'F', 'V', '1'), 25.0,
                      kSize);
    for (int f = 1; f <= 36; ++f) {
      Centreline line;
      for (int k = 0; k < kCentrelinePoints; ++k) {
        const double x = 140 + 2 * f - 120.0 * k / (kCentrelinePoints - 1);
        line.emplace_back(x, 100 + 12 * std::sin(2 * CV_PI * x / 80));
      }
      const cv::Mat mask = testing_support::bodyMask(body, line, kSize);
      cv::Mat grey(kSize, CV_8U, cv::Scalar(200)), colour;
      grey.setTo(40, mask);
      const bool gap = (f >= 6 && f <= 8) || (f >= 12 && f <= 14) || (f >= 21 && f <= 23) ||
                       (f >= 31 && f <= 33);
      if (gap) cv::circle(grey, {276, 156}, 29, cv::Scalar(40), cv::FILLED);
      cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
      w.write(colour);
      SkelRecord r;
      r.frame = f;
      if (!gap) {
        r = testing_support::chainRecord(f, testing_support::pixelChain(line));
        r.area = cv::countNonZero(mask);
        r.thickness = r.area / r.len;
        if (f > 11) r.area *= 4;
      }
      r.ignored = f == 13 || f == 26;
      records_.push_back(r);
      notes_.push_back(FrameNote{{3 * f, -f}, !gap});
    }
  }

  PassRun run(unsigned threads, size_t window, bool primed = true) const {
    CentrelineInput in{path_, kSize, SegmenterSettings(), true};
    in.threads = threads;
    in.windowFrames = window;
    std::vector<FrameNote> notes = notes_;
    for (FrameNote& n : notes) n.accepted = n.accepted && primed;
    std::ostringstream err;
    PassRun out;
    out.counts = computeCentrelines(
        in, records_, notes, [&out](const FrameCentreline& c) { out.rows.push_back(c); }, err);
    out.err = err.str();
    return out;
  }

 private:
  const cv::Size kSize{320, 200};
  std::string path_;
  std::vector<SkelRecord> records_;
  std::vector<FrameNote> notes_;
};

// Every row to the last bit, the counts and the messages, as text.
std::string allOf(const PassRun& r) {
  std::ostringstream s;
  s << std::hexfloat << r.err << r.counts.chain << ' ' << r.counts.fitted << ' ' << r.counts.none
    << ' ' << r.counts.gapFrames << '\n';
  for (const FrameCentreline& c : r.rows) {
    s << c.frame << ' ' << static_cast<int>(c.source) << ' ' << c.fitError << ' ' << c.stage;
    for (const cv::Point2d& p : c.line) s << ' ' << p;
    s << '\n';
  }
  return s.str();
}

std::vector<int> fittedFrames(const PassRun& r) {
  std::vector<int> frames;
  for (const FrameCentreline& c : r.rows)
    if (c.source == CentrelineSource::kFitted) frames.push_back(c.frame);
  return frames;
}

// However many threads fit the gaps and however the gaps are cut into
// windows, the rows, their order, the counts and the messages are those of
// one thread fitting one window; a gap fitted with the segmenter's means
// taken too far, or not far enough, would come out otherwise.
TEST(CentrelinePassTest, ThreadsAndWindowsDoNotChangeTheRows) {
  const CrawlMovie movie;
  const PassRun one = movie.run(1, 1024);
  ASSERT_EQ(one.rows.size(), 34u);
  EXPECT_EQ(fittedFrames(one), (std::vector<int>{6, 7, 8, 12, 14}));
  EXPECT_EQ(one.counts.gapFrames, 11);
  EXPECT_EQ(fittedFrames(movie.run(1, 1024, false)), std::vector<int>());
  const std::pair<unsigned, size_t> cases[] = {{2, 1024}, {3, 1024}, {2, 3}, {3, 1}};
  for (const auto& [threads, window] : cases)
    EXPECT_EQ(allOf(one), allOf(movie.run(threads, window))) << threads << " threads, " << window;
}

}  // namespace
}  // namespace dukon

#include "skeleton/head_evidence.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/crawling.h"

namespace dukon {
namespace {

using testing_support::Crawl;
using testing_support::crawlRecords;

TEST(TangentAngles, StraightArcAndReversedChains) {
  std::vector<cv::Point> line;
  for (int x = 0; x < 100; ++x) line.emplace_back(x, 7);
  for (float a : tangentAngles(line, false)) EXPECT_NEAR(a, 0, 1e-6);

  // A half circle turns by pi at an even pace: the angles of its tangents,
  // less their mean, within the pixels' rounding.
  std::vector<cv::Point2d> arc;
  for (int k = 0; k <= 400; ++k)
    arc.emplace_back(100 + 60 * std::cos(M_PI * k / 400), 100 + 60 * std::sin(M_PI * k / 400));
  const std::vector<cv::Point> chain = testing_support::pixelChain(arc);
  const TangentAngles forward = tangentAngles(chain, false);
  for (int k = 0; k < kTangentCount; ++k)
    EXPECT_NEAR(forward[k], M_PI * (k + 0.5) / kTangentCount - M_PI / 2, 0.3) << k;
  double sum = 0;
  for (float a : forward) sum += a;
  EXPECT_NEAR(sum, 0, 1e-4);
  // Walked the other way the profile is the same, back to front.
  const TangentAngles backward = tangentAngles(chain, true);
  for (int k = 0; k < kTangentCount; ++k)
    EXPECT_NEAR(backward[k], forward[kTangentCount - 1 - k], 1e-4);

  for (float a : tangentAngles({cv::Point(3, 3), cv::Point(3, 3)}, false)) EXPECT_EQ(a, 0);
}

// Each cue alone, on runs whose end A is the head (or the tail, with every
// member reversed). Positive speaks for end A.
TEST(WeighEvidence, EachCueSpeaksForItsEnd) {
  struct Case {
    const char* name;
    Crawl crawl;
    bool endAIsTail;
    double contrast;
    int brightness, swing, wave, travel;  // expected signs; swing 0: not asked
  };
  Crawl forward;
  Crawl backingUp;
  backingUp.forward = false;
  Crawl swinging;
  swinging.speed = 0;
  swinging.swing = 0.5;
  const Case cases[] = {
      {"crawling forward", forward, false, NAN, 0, 0, 1, 1},
      {"crawling forward, end A the tail", forward, true, NAN, 0, 0, -1, -1},
      {"backing up", backingUp, false, NAN, 0, 0, -1, -1},
      {"head swinging, no travel", swinging, false, NAN, 0, 1, 0, 0},
      {"head swinging, end A the tail", swinging, true, NAN, 0, -1, 0, 0},
      {"brighter head", swinging, false, 10, 1, 1, 0, 0},
      {"brighter head, end A the tail", swinging, true, 30, -1, -1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<SkelRecord> records = crawlRecords(c.crawl, 100, c.contrast);
    LinkedRun run;
    for (int i = 0; i < 100; ++i) run.members.push_back({i, c.endAIsTail});
    const HeadEvidence e = weighEvidence(records, run, 10);
    EXPECT_EQ(e.framePairs, 98);
    EXPECT_EQ(e.brightnessVotes, std::isnan(c.contrast) ? 0 : 100);
    auto sign = [](double v) { return std::fabs(v) < 0.05 ? 0 : v > 0 ? 1 : -1; };
    EXPECT_EQ(sign(e.brightness), c.brightness) << e.brightness;
    if (c.swing != 0) {
      EXPECT_EQ(sign(e.swing), c.swing) << e.swing;
    }
    EXPECT_EQ(sign(e.wave), c.wave) << e.wave;
    EXPECT_EQ(sign(e.travel), c.travel) << e.travel;
  }
}

// Body wave and travel give only the leading end: over 10 s they count half
// of what they would over a very long run, so that a clear head swing
// outweighs them on a run of backing up.
TEST(WeighEvidence, HeadSwingOutweighsTheLeadingEndOnAShortRun) {
  Crawl backingUp;
  backingUp.forward = false;
  backingUp.swing = 0.5;
  const std::vector<SkelRecord> records = crawlRecords(backingUp, 100);
  LinkedRun run;
  for (int i = 0; i < 100; ++i) run.members.push_back({i, false});
  const HeadEvidence e = weighEvidence(records, run, 10);
  EXPECT_LT(e.wave + e.travel, 0);
  EXPECT_GE(e.wave + e.travel, -0.5);
  EXPECT_GT(e.total(), 0);
}

}  // namespace
}  // namespace dukon

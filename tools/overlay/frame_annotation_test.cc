// How the rows of a run's files become the frame states the movie shows.
#include "overlay/frame_annotation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "results/test_samples.h"

namespace dukon {
namespace overlay {
namespace {

// A shape-table row with head and tail in world pixels.
ShapeRow row(int frame, bool ignored, bool consistent, const std::string& label, cv::Point head,
             cv::Point tail) {
  ShapeRow r;
  r.frame = frame;
  r.ignored = ignored;
  r.consistent = consistent;
  r.label = label;
  r.head = head;
  r.tail = tail;
  return r;
}

TEST(RunAnnotations, StatesAndChainEnds) {
  // Frame pixels = world pixels - (100, 10) in frames 1 and 2.
  std::vector<cv::Point> chain = results::samples::straightChain({20, 30}, {60, 30});
  std::vector<cv::Point> reversed(chain.rbegin(), chain.rend());
  std::vector<ShapeRow> rows;
  rows.push_back(row(1, false, true, "fwd", {160, 40}, {120, 40}));    // head at the chain's end
  rows.push_back(row(2, false, true, "bckwd", {120, 40}, {160, 40}));  // head at its start
  rows.push_back(row(3, false, false, "pause", {-1, -1}, {-1, -1}));   // valid chain, inconsistent
  rows.push_back(row(4, false, false, "fwd", {-1, -1}, {-1, -1}));     // no chain: rejected
  rows.push_back(row(5, false, false, "loop", {-1, -1}, {-1, -1}));
  rows.push_back(row(6, true, false, "", {-1, -1}, {-1, -1}));
  std::map<int, std::vector<cv::Point>> chains = {
      {1, chain}, {2, chain}, {3, reversed}, {4, {}}, {5, chain}};
  RunAnnotations a(rows, chains, "w-skel.csv");
  EXPECT_EQ(a.firstFrame(), 1);
  EXPECT_EQ(a.lastFrame(), 6);
  EXPECT_EQ(a.at(1).state, FrameState::kConsistent);
  EXPECT_EQ(a.at(1).head, cv::Point(60, 30));
  EXPECT_EQ(a.at(1).tail, cv::Point(20, 30));
  EXPECT_EQ(a.at(2).head, cv::Point(20, 30));
  EXPECT_EQ(a.at(2).movement.name, "backward");
  EXPECT_EQ(a.at(3).state, FrameState::kGood);
  EXPECT_EQ(a.at(3).head, cv::Point(60, 30));  // the chain's first point
  EXPECT_EQ(a.at(4).state, FrameState::kRejected);
  EXPECT_EQ(a.at(4).movement.name, "forward");
  EXPECT_EQ(a.at(5).state, FrameState::kLoop);
  EXPECT_FALSE(a.at(5).hasEnds);
  EXPECT_EQ(a.at(6).state, FrameState::kIgnored);
  EXPECT_EQ(a.at(7).state, FrameState::kNotAnalysed);
  EXPECT_EQ(a.unmatchedEnds(), 0);
  EXPECT_EQ(a.chainExtent(), cv::Point(60, 30));

  // A consistent frame without a chain: the skeleton file is of another run.
  chains.erase(2);
  try {
    RunAnnotations other(rows, chains, "w-skel.csv");
    FAIL() << "expected RunFileError";
  } catch (const RunFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "w-skel.csv: frame 2 is consistent in the shape table but has no chain here "
              "(files of different runs?)");
  }
}

// Only the fitted rows of centreline.csv are drawn: their world points less
// the frame's stage location (100, 10), i.e. frame pixels.
TEST(FittedCentrelines, FittedRowsInFramePixels) {
  std::string text = "frame,source,fit_error";
  for (int k = 0; k < 49; ++k) text += ",x" + std::to_string(k) + ",y" + std::to_string(k);
  text += ",stage_x,stage_y\n";
  for (const char* source : {"chain", "fitted", "none"}) {
    text += std::string(source) == "fitted" ? "2,fitted,0.0420" : std::string("1,") + source + ",";
    for (int k = 0; k < 49; ++k)
      text += std::string(source) == "none" ? ",," : "," + std::to_string(130 + 2 * k) + ",50";
    text += ",100,10\n";
  }
  const std::filesystem::path dir = results::samples::freshDir("fitted-centrelines");
  results::samples::writeText(dir / "w-centreline.csv", text);
  const std::map<int, FittedLine> fitted =
      readFittedCentrelines((dir / "w-centreline.csv").string());
  ASSERT_EQ(fitted.size(), 1u);
  const FittedLine& l = fitted.at(2);
  EXPECT_DOUBLE_EQ(l.fitError, 0.042);
  ASSERT_EQ(l.points.size(), 49u);
  EXPECT_EQ(l.points.front(), cv::Point2d(30, 40));
  EXPECT_EQ(l.points.back(), cv::Point2d(126, 40));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace overlay
}  // namespace dukon

// The overlay's readers of the run files, and how their rows become frame
// states.
#include "overlay/run_outputs.h"

#include <gtest/gtest.h>

#include "overlay/frame_annotation.h"
#include "overlay/test_samples.h"

namespace dukon {
namespace overlay {
namespace {

namespace fs = std::filesystem;
using namespace samples;

class RunOutputsTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = freshDir("readers"); }
  void TearDown() override { fs::remove_all(dir_); }
  std::string write(const std::string& name, const std::string& text) {
    writeText(dir_ / name, text);
    return (dir_ / name).string();
  }
  // The message of the RunFileError that `read` throws, "" if none.
  template <typename Read>
  std::string failure(Read read) {
    try {
      read();
    } catch (const RunFileError& e) {
      return e.what();
    }
    return "";
  }
  fs::path dir_;
};

TEST_F(RunOutputsTest, ParamsCopyGivesNameScaleRateAndRange) {
  RunParams p = readParamsCopy(write("w-params.txt", paramsCopy("/m/", "w", 280, 29.97)));
  EXPECT_EQ(p.movieDir, "/m/");
  EXPECT_EQ(p.movieName, "w");
  EXPECT_EQ(p.mmpix, 280);
  EXPECT_NEAR(p.frmps, 29.97, 1e-9);
  EXPECT_EQ(p.fframe, 0);

  std::string path = write("bad.txt", "moviename = w\n");
  EXPECT_EQ(failure([&] { readParamsCopy(path); }),
            path + ":1: not a parameters copy (run header missing)");
  std::string text = paramsCopy("/m/", "w", 280, 30);
  path = write("bad2.txt", text.replace(text.find("mmpix       = 280"), 17, "mmpix       = -4"));
  EXPECT_EQ(failure([&] { readParamsCopy(path); }), path + ":7: mmpix: cannot read value '-4'");
  text = paramsCopy("/m/", "w", 280, 30);
  path = write("cut.txt", text.substr(0, text.find("mmpix")));
  EXPECT_NE(failure([&] { readParamsCopy(path); }).find("lacks moviename or mmpix"),
            std::string::npos);
  EXPECT_EQ(failure([&] { readParamsCopy((dir_ / "none.txt").string()); }),
            (dir_ / "none.txt").string() + ": cannot open (missing file?)");
}

TEST_F(RunOutputsTest, ShapeTableRowsOfEachKind) {
  std::string path = write("w-wxd.txt", shapeTable({consistentRow(5, {110, 60}, {50, 40}, "fwd"),
                                                    inconsistentRow(6, "reversal"), ignoredRow(7),
                                                    consistentRow(9, {1, 2}, {3, 4}, "")}));
  std::vector<ShapeRow> rows = readShapeTable(path);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].frame, 5);
  EXPECT_TRUE(rows[0].consistent);
  EXPECT_EQ(rows[0].headWorld, cv::Point(110, 60));
  EXPECT_EQ(rows[0].tailWorld, cv::Point(50, 40));
  EXPECT_EQ(rows[0].label, "fwd");
  EXPECT_FALSE(rows[1].consistent);
  EXPECT_FALSE(rows[1].ignored);
  EXPECT_EQ(rows[1].label, "reversal");
  EXPECT_TRUE(rows[2].ignored);
  EXPECT_EQ(rows[3].frame, 9);
  EXPECT_EQ(rows[3].label, "");
}

TEST_F(RunOutputsTest, DamagedShapeTablesNameFileAndLine) {
  std::string good = consistentRow(5, {110, 60}, {50, 40}, "fwd");
  struct Case {
    std::string text, message;
  } cases[] = {
      {shapeTable({good}).substr(1), ":1: expected an empty first line before the header"},
      {"\nframe,OK?\n" + good, ":2: unexpected table header"},
      {shapeTable({good.substr(0, 40)}),
       ":3: expected 29 comma-separated fields, found 7 (file truncated?)"},
      {shapeTable({good, inconsistentRow(5, "")}), ":4: frame 5 does not follow frame 5"},
      {shapeTable({inconsistentRow(6, "walk")}), ":3: unknown movement label 'walk'"},
      {shapeTable({"frame 7"}), ":3: expected a row '#frame,...', found 'frame 7'"},
  };
  for (const Case& c : cases) {
    std::string path = write("w-wxd.txt", c.text);
    EXPECT_EQ(failure([&] { readShapeTable(path); }), path + c.message) << c.text;
  }
}

TEST_F(RunOutputsTest, SkeletonFileKeepsTheLatestRunOnly) {
  std::string path = write(
      "w-skel.csv",
      skeletonFile({{1, {{9, 9}}}, {2, {{8, 8}}}, {1, {{1, 2}, {2, 3}}}, {2, {}}, {3, {{5, 5}}}}));
  auto chains = readSkeletonFile(path);
  ASSERT_EQ(chains.size(), 3u);
  EXPECT_EQ(chains[1], (std::vector<cv::Point>{{1, 2}, {2, 3}}));
  EXPECT_TRUE(chains[2].empty());
  EXPECT_EQ(chains[3], std::vector<cv::Point>{cv::Point(5, 5)});

  path = write("cut.csv", "Frame number: 1\n4,5\n4,");
  EXPECT_EQ(failure([&] { readSkeletonFile(path); }),
            path + ":3: last line has no line end (file truncated?)");
  path = write("pre.csv", "4,5\n");
  EXPECT_EQ(failure([&] { readSkeletonFile(path); }),
            path + ":1: point before the first 'Frame number:' line");
  path = write("junk.csv", "Frame number: 1\n4;5\n");
  EXPECT_EQ(failure([&] { readSkeletonFile(path); }),
            path + ":2: expected 'Frame number: N' or 'x,y', found '4;5'");
}

// A run with lframe 2 and then one with fframe 3 leave ascending frame
// numbers: only the count of the latest run's rows tells them apart.
TEST_F(RunOutputsTest, SkeletonFileTakesTheLatestRunsEntriesByCount) {
  std::string path = write(
      "w-skel.csv", skeletonFile({{1, {{9, 9}}}, {2, {{8, 8}}}, {3, {{1, 2}}}, {4, {}}, {5, {}}}));
  struct Case {
    size_t records;
    std::vector<int> frames;  // read, in order
    size_t skipped;
  } cases[] = {
      {kUnknownRecords, {1, 2, 3, 4, 5}, 0},
      {3, {3, 4, 5}, 2},
      {0, {}, 5},  // the latest run analysed no frame
  };
  for (const Case& c : cases) {
    size_t skipped = 99;
    auto chains = readSkeletonFile(path, c.records, &skipped);
    std::vector<int> frames;
    for (const auto& entry : chains) frames.push_back(entry.first);
    EXPECT_EQ(frames, c.frames) << c.records;
    EXPECT_EQ(skipped, c.skipped) << c.records;
  }
  EXPECT_EQ(readSkeletonFile(path, 3).at(3), std::vector<cv::Point>{cv::Point(1, 2)});
  // The frame number that does not grow ends an earlier run, whatever the count.
  path = write("two.csv", skeletonFile({{1, {}}, {2, {}}, {1, {}}, {2, {}}}));
  EXPECT_EQ(failure([&] { readSkeletonFile(path, 3); }),
            path +
                ": the last run analysed 3 frames, but its block here holds 2 entries "
                "(file cut short, or files of different runs?)");
}

// A centreline row: the frame, its source and error, 49 points along x
// from (x0, y) in steps of 2, the stage location (100, 10).
std::string centrelineRow(int frame, const std::string& source, const std::string& error, int x0,
                          int y) {
  std::string row = std::to_string(frame) + "," + source + "," + error;
  for (int k = 0; k < 49; ++k) {
    row += source == "none" ? ",," : "," + std::to_string(x0 + 2 * k) + "," + std::to_string(y);
  }
  return row + ",100,10\n";
}

// Only the fitted rows are kept, moved into frame pixels; a damaged row is
// named by file and line.
TEST_F(RunOutputsTest, CentrelineFileGivesTheFittedLinesInFramePixels) {
  std::string header = "frame,source,fit_error";
  for (int k = 0; k < 49; ++k) header += ",x" + std::to_string(k) + ",y" + std::to_string(k);
  header += ",stage_x,stage_y\n";
  const std::string rows = centrelineRow(1, "chain", "", 120, 40) +
                           centrelineRow(2, "fitted", "0.0420", 130, 50) +
                           centrelineRow(3, "none", "0.3000", 0, 0);
  const auto fitted = readFittedCentrelines(write("w-centreline.csv", header + rows));
  ASSERT_EQ(fitted.size(), 1u);
  const FittedLine& l = fitted.at(2);
  EXPECT_DOUBLE_EQ(l.fitError, 0.042);
  ASSERT_EQ(l.points.size(), 49u);
  EXPECT_EQ(l.points.front(), cv::Point2d(30, 40));
  EXPECT_EQ(l.points.back(), cv::Point2d(126, 40));
  const std::string path = write("x-centreline.csv", header + rows + "4,fitted,0.1,1,2\n");
  EXPECT_EQ(failure([&] { readFittedCentrelines(path); }), path + ":5: expected 103 fields");
  const std::string noHeader = write("y-centreline.csv", rows);
  EXPECT_EQ(failure([&] { readFittedCentrelines(noHeader); }),
            noHeader + ": not a centreline file (no header)");
}

TEST(DecodeLabel, WordsClassesAndReversals) {
  EXPECT_EQ(decodeLabel("fwd").name, "forward");
  Movement m = decodeLabel("fwdreversal");
  EXPECT_EQ(m.name, "forward");
  EXPECT_TRUE(m.reversal);
  m = decodeLabel("reversal");  // a backward frame that starts a reversal
  EXPECT_EQ(m.name, "backward");
  EXPECT_TRUE(m.reversal);
  EXPECT_EQ(decodeLabel("").name, "");
  EXPECT_EQ(decodeLabel("omega").name, "omega");
  EXPECT_THROW(decodeLabel("fwdbckwd"), std::invalid_argument);
  EXPECT_THROW(decodeLabel("fwd "), std::invalid_argument);
}

TEST(RunAnnotations, StatesAndChainEnds) {
  // Frame pixels = world pixels - (100, 10) in frames 1 and 2.
  std::vector<cv::Point> chain = straightChain({20, 30}, {60, 30});
  std::vector<cv::Point> reversed(chain.rbegin(), chain.rend());
  std::vector<ShapeRow> rows;
  rows.push_back({1, false, true, "fwd", {160, 40}, {120, 40}});    // head at the chain's end
  rows.push_back({2, false, true, "bckwd", {120, 40}, {160, 40}});  // head at its start
  rows.push_back({3, false, false, "pause", {-1, -1}, {-1, -1}});   // valid chain, inconsistent
  rows.push_back({4, false, false, "fwd", {-1, -1}, {-1, -1}});     // no chain: rejected
  rows.push_back({5, false, false, "loop", {-1, -1}, {-1, -1}});
  rows.push_back({6, true, false, "", {-1, -1}, {-1, -1}});
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

TEST_F(RunOutputsTest, RunNameFromTheFolder) {
  fs::create_directories(dir_ / "w1");
  writeText(dir_ / "w1" / "w1-wxd.txt", "");
  EXPECT_EQ(findRunName((dir_ / "w1").string()), "w1");
  EXPECT_EQ(findRunName((dir_ / "w1").string() + "/"), "w1");
  fs::create_directories(dir_ / "renamed");
  writeText(dir_ / "renamed" / "w2-wxd.txt", "");
  EXPECT_EQ(findRunName((dir_ / "renamed").string()), "w2");
  writeText(dir_ / "renamed" / "w3-wxd.txt", "");
  EXPECT_NE(failure([&] { findRunName((dir_ / "renamed").string()); }).find("several runs"),
            std::string::npos);
  EXPECT_NE(failure([&] { findRunName((dir_ / "absent").string()); }).find("no such folder"),
            std::string::npos);
}

}  // namespace
}  // namespace overlay
}  // namespace dukon

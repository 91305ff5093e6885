#include "results/skeleton_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/reader_test_fixture.h"

namespace dukon {
namespace results {
namespace {

using namespace samples;

TEST_F(ReaderTest, SkeletonFileKeepsTheLatestRunOnly) {
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
TEST_F(ReaderTest, SkeletonFileTakesTheLatestRunsEntriesByCount) {
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

}  // namespace
}  // namespace results
}  // namespace dukon

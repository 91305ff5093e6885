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

}  // namespace
}  // namespace results
}  // namespace dukon

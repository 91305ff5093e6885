#include "base/frame_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace dukon {
namespace {

// The list as the frames of every range, sorted: what the cursor and the
// listing must show.
std::vector<int> flattened(const std::vector<FrameList::Range>& ranges) {
  std::vector<int> all;
  for (const auto& [a, b] : ranges)
    for (long long f = a; f <= b; ++f) all.push_back(static_cast<int>(f));
  std::sort(all.begin(), all.end());
  return all;
}

TEST(FrameList, CursorAndListingWalkEveryFrameOfEveryRange) {
  const std::vector<std::vector<FrameList::Range>> cases = {
      {},
      {{5, 5}},
      {{10, 12}, {5, 5}, {12, 10}, {7, 7}},  // a backward range lists nothing
      {{3, 9}, {5, 6}, {6, 12}, {6, 6}},     // overlaps list a frame once per range
      {{-4, -2}, {2147483640, 2147483647}},  // the ends of int
  };
  for (const auto& ranges : cases) {
    const FrameList list(ranges);
    std::vector<int> walked, listed;
    FrameList::Cursor c = list.cursor();
    for (; c.current() != FrameList::kEnd; c.advance()) walked.push_back(c.current());
    list.forEach([&listed](int f) { listed.push_back(f); });
    const std::vector<int> want = flattened(ranges);
    EXPECT_EQ(walked, want);
    EXPECT_EQ(listed, want);
    EXPECT_EQ(c.passed(), want.size());
    EXPECT_EQ(list.size(), static_cast<long long>(want.size()));
    EXPECT_EQ(list.empty(), want.empty());
  }
  // Millions of frames cost three ranges; the count is still every entry.
  EXPECT_EQ(FrameList({{5, 9999999}, {5, 9999999}, {5, 9999999}}).size(), 3LL * 9999995);
}

}  // namespace
}  // namespace dukon

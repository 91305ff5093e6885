#include "skeleton/linked_runs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/crawling.h"

namespace dukon {
namespace {

using testing_support::chainRecord;
using testing_support::Crawl;
using testing_support::crawlChain;

// Runs as "first-last" of member frames, with "r" after a reversed member:
// e.g. "1-3 4r-6r".
std::string describe(const std::vector<SkelRecord>& records, const std::vector<LinkedRun>& runs) {
  std::string s;
  for (const LinkedRun& run : runs) {
    if (!s.empty()) s += " ";
    const RunMember& a = run.members.front();
    const RunMember& b = run.members.back();
    s += std::to_string(records[a.index].frame) + (a.reversed ? "r" : "") + "-" +
         std::to_string(records[b.index].frame) + (b.reversed ? "r" : "") + "/" +
         std::to_string(run.members.size());
  }
  return s;
}

// Six frames of a worm crawling 2 pixels a frame at 10 frames per second,
// each changed by `edit` before linking.
std::string linkEdited(const std::function<void(std::vector<SkelRecord>&)>& edit) {
  std::vector<SkelRecord> records;
  for (int t = 1; t <= 6; ++t) records.push_back(chainRecord(t, crawlChain(Crawl(), t), 5));
  edit(records);
  return describe(records, linkRuns(records, 10));
}

void reverseChain(SkelRecord& r) {
  r.reverse(0, -1);
}

TEST(LinkRuns, FollowsEndsAndBreaksWhereTheyJump) {
  struct Case {
    const char* name;
    std::function<void(std::vector<SkelRecord>&)> edit;
    const char* runs;
  };
  const Case cases[] = {
      {"one run", [](auto&) {}, "1-6/6"},
      {"chains walked either way", [](auto& r) { reverseChain(r[2]), reverseChain(r[5]); },
       "1-6r/6"},
      {"across a loop and a frame without worm",
       [](auto& r) {
         r[2].loop = true;
         r[3].reset();
         r[3].noWorm = true;
       },
       "1-6/4"},
      {"ends jumped: the body turned a quarter",
       [](auto& r) {
         for (int i = 3; i < 6; ++i)
           for (cv::Point& p : r[i].points)
             p = r[i].mid + cv::Point(r[i].mid.y - p.y, p.x - r[i].mid.x);
       },
       "1-3/3 4-6/3"},
      {"a stage jump moves the frame, not the world",
       [](auto& r) {
         for (int i = 3; i < 6; ++i) {
           for (cv::Point& p : r[i].points) p.x += 60;
           r[i].xLoc = -60;
         }
       },
       "1-6/6"},
      {"frames more than two seconds apart",
       [](auto& r) {
         for (int i = 3; i < 6; ++i) r[i].frame += 30;
       },
       "1-3/3 34-36/3"},
      {"an inconsistent chain before the first consistent one joins its run",
       [](auto& r) { r[0].consistent = false; }, "1-6/6"},
      {"an inconsistent chain that jumped is left out",
       [](auto& r) {
         r[2].consistent = false;
         for (cv::Point& p : r[2].points) p.x += 60;
       },
       "1-6/5"},
  };
  for (const Case& c : cases) EXPECT_EQ(linkEdited(c.edit), c.runs) << c.name;
}

}  // namespace
}  // namespace dukon

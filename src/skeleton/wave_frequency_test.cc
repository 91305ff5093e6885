#include "stage/world_coords.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace dukon {
namespace {

constexpr double kRate = 10.0;  // frames per second

// A located, consistent record of frame f whose centre of mass (row, col)
// is given and whose wavelength is 50 px.
SkelRecord moving(int f, int row, int col) {
  SkelRecord r;
  r.frame = f;
  r.located = true;
  r.consistent = true;
  r.cmass = {row, col};
  r.wavelen = 50.0;
  return r;
}

TEST(WorldCoordsTest, PointsMoveByTheStageLocation) {
  std::vector<SkelRecord> recs(3);
  recs[0].head = {1, 2};
  recs[0].tail = {3, 4};
  recs[0].mid = {5, 6};
  recs[0].cmass = {7, 8};
  recs[0].points = {{1, 2}, {2, 3}};
  recs[0].xLoc = 100;
  recs[0].yLoc = -10;
  recs[1].ignored = true;  // flags do not matter
  recs[1].xLoc = 3;
  recs[2].xLoc = 99;
  worldCoordinates(recs, kRate);
  EXPECT_EQ(recs[0].head, cv::Point(101, -8));
  EXPECT_EQ(recs[0].tail, cv::Point(103, -6));
  EXPECT_EQ(recs[0].mid, cv::Point(105, -4));
  EXPECT_EQ(recs[0].cmass[0], -3);  // the row takes yLoc
  EXPECT_EQ(recs[0].cmass[1], 108);
  EXPECT_EQ(recs[0].points[1], cv::Point(2, 3));  // the chain stays in the frame
  EXPECT_EQ(recs[1].mid, cv::Point(3, 0));
  EXPECT_EQ(recs[2].mid, cv::Point(99, 0));
}

TEST(WorldCoordsTest, FrequencyFromCentreOfMassTravel) {
  std::vector<SkelRecord> recs = {moving(4, 10, 10), moving(5, 13, 14), moving(6, 13, 14)};
  // The location counts: frame 6 sits 5 px further in x than frame 5.
  recs[2].xLoc = 5;
  worldCoordinates(recs, kRate);
  EXPECT_TRUE(std::isnan(recs[0].freq));
  EXPECT_DOUBLE_EQ(recs[1].freq, 5.0 * 10.0 / 50.0);
  EXPECT_DOUBLE_EQ(recs[2].freq, 5.0 * 10.0 / 50.0);
}

TEST(WorldCoordsTest, FrequencyNeedsTwoGoodNeighbouringFrames) {
  std::vector<SkelRecord> recs;
  for (int i = 0; i < 12; ++i) recs.push_back(moving(i, 10 + 3 * i, 10 + 4 * i));
  recs[1].ignored = true;      // 1 and 2 have no frequency
  recs[3].located = false;     // 3 and 4
  recs[5].consistent = false;  // 5 and 6 (a loop frame is never consistent)
  recs[8].frame = 9;           // a gap: 8 has none, 9 (frame 9 after 9) neither
  recs[10].wavelen = SkelRecord::kNaN;
  recs[11].wavelen = 0.0;  // no division by zero
  worldCoordinates(recs, kRate);
  const bool hasFreq[] = {false, false, false, false, false, false,
                          false, true,  false, false, false, false};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(!std::isnan(recs[i].freq), hasFreq[i]) << i;
  EXPECT_DOUBLE_EQ(recs[7].freq, 1.0);
}

}  // namespace
}  // namespace dukon

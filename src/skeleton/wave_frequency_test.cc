#include "skeleton/wave_frequency.h"

#include <gtest/gtest.h>

#include <cmath>

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

TEST(WaveFrequencyTest, FrequencyFromCentreOfMassTravel) {
  std::vector<SkelRecord> recs = {moving(4, 10, 10), moving(5, 13, 14), moving(6, 13, 14)};
  // World positions count: frame 6 sits 5 px further in x than frame 5 and
  // frame 5 is (3, 4) from frame 4 only with the stage location added.
  recs[1].xLoc = 4;
  recs[1].yLoc = 3;
  recs[1].cmass = {10, 10};
  recs[2].xLoc = 9;
  recs[2].yLoc = 3;
  recs[2].cmass = {10, 10};
  const std::vector<SkelRecord> before = recs;
  waveFrequency(recs, kRate);
  EXPECT_TRUE(std::isnan(recs[0].freq));
  EXPECT_DOUBLE_EQ(recs[1].freq, 5.0 * 10.0 / 50.0);
  EXPECT_DOUBLE_EQ(recs[2].freq, 5.0 * 10.0 / 50.0);
  // The records keep frame pixels.
  EXPECT_EQ(recs[2].cmass, before[2].cmass);
}

TEST(WaveFrequencyTest, FrequencyNeedsTwoGoodNeighbouringFrames) {
  std::vector<SkelRecord> recs;
  for (int i = 0; i < 12; ++i) recs.push_back(moving(i, 10 + 3 * i, 10 + 4 * i));
  recs[1].ignored = true;      // 1 and 2 have no frequency
  recs[3].located = false;     // 3 and 4
  recs[5].consistent = false;  // 5 and 6 (a loop frame is never consistent)
  recs[8].frame = 9;           // a gap: 8 has none, 9 (frame 9 after 9) neither
  recs[10].wavelen = SkelRecord::kNaN;
  recs[11].wavelen = 0.0;  // no division by zero
  waveFrequency(recs, kRate);
  const bool hasFreq[] = {false, false, false, false, false, false,
                          false, true,  false, false, false, false};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(!std::isnan(recs[i].freq), hasFreq[i]) << i;
  EXPECT_DOUBLE_EQ(recs[7].freq, 1.0);
}

}  // namespace
}  // namespace dukon

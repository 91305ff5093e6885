#include "skeleton/body_wave.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace dukon {
namespace {

// Record holding `pts` as its chain, head at the first point, tail at the
// last, and `len` as given.
SkelRecord chainRecord(const std::vector<cv::Point>& pts, double len) {
  SkelRecord rec;
  rec.points = pts;
  if (!pts.empty()) {
    rec.head = pts.front();
    rec.tail = pts.back();
  }
  rec.len = len;
  return rec;
}

std::vector<cv::Point> line(cv::Point from, cv::Point step, int n) {
  std::vector<cv::Point> pts;
  for (int i = 0; i < n; ++i) pts.push_back(from + i * step);
  return pts;
}

// 8-connected rasterisation of y = y0 + amplitude * sin(2 pi x / wavelength
// + phase) for x in [0, length].
std::vector<cv::Point> sineChain(int length, double amplitude, double wavelength, double phase) {
  std::vector<cv::Point> pts;
  for (double x = 0; x <= length; x += 0.05) {
    const cv::Point p(cvRound(x),
                      50 + cvRound(amplitude * std::sin(2 * CV_PI * x / wavelength + phase)));
    if (pts.empty()) pts.push_back(p);
    while (pts.back() != p) {
      const cv::Point b = pts.back();
      pts.emplace_back(b.x + (p.x > b.x) - (p.x < b.x), b.y + (p.y > b.y) - (p.y < b.y));
    }
  }
  return pts;
}

TEST(BendProfileTest, StraightChainHasNoBendNoWavelengthAndIsStraight) {
  SkelRecord rec = chainRecord(line({5, 7}, {1, 1}, 48), 47 * std::sqrt(2.0));
  std::ostringstream out;
  computeFeatures(rec, out);
  EXPECT_EQ(rec.numAngles, 48 - 2 * 4);
  ASSERT_EQ(rec.angles.size(), 40u);
  for (double b : rec.angles) EXPECT_EQ(b, 0.0);
  EXPECT_EQ(rec.maxangL, 0.0);
  EXPECT_EQ(rec.maxangR, 0.0);
  EXPECT_FALSE(std::signbit(rec.maxangR));  // a magnitude, printed as 0
  EXPECT_EQ(rec.avgangle, 0.0);
  EXPECT_TRUE(std::isnan(rec.wavelen));
  EXPECT_TRUE(std::isnan(rec.Nwavelen));
  EXPECT_DOUBLE_EQ(rec.straightfs, 1.0);
  // Nothing is bent to either side: the balance score is undefined.
  EXPECT_TRUE(std::isnan(rec.sinusfs));
  EXPECT_EQ(out.str(), "");
}

TEST(BendProfileTest, ElevenPointChainHasZeroLengthChords) {
  // k = 11 / 12 = 0: every chord is a point, so even a zigzag has no bend.
  std::vector<cv::Point> zigzag;
  for (int i = 0; i < 11; ++i) zigzag.emplace_back(i, i % 2);
  SkelRecord rec = chainRecord(zigzag, 10);
  std::ostringstream out;
  computeFeatures(rec, out);
  EXPECT_EQ(rec.numAngles, 11);
  for (double b : rec.angles) EXPECT_EQ(b, 0.0);
  EXPECT_TRUE(std::isnan(rec.wavelen));
  EXPECT_EQ(out.str(), "");  // 11 angles are enough to look for a wavelength
}

TEST(BendProfileTest, RightAngleTurnsAndFolding) {
  // 13 points along +x, then 11 down (+y): a +90 degree turn. n = 24, k = 2.
  std::vector<cv::Point> pts = line({0, 0}, {1, 0}, 13);
  for (int i = 1; i <= 11; ++i) pts.emplace_back(12, i);
  SkelRecord down = chainRecord(pts, 23);
  computeBendProfile(down);
  EXPECT_EQ(down.numAngles, 20);
  EXPECT_DOUBLE_EQ(down.maxangL, 90.0);
  EXPECT_EQ(down.maxangR, 0.0);
  EXPECT_NEAR(down.angles[9], 45.0, 1e-5);  // bend at chain point 11
  EXPECT_DOUBLE_EQ(down.angles[10], 90.0);  // at the corner, point 12
  EXPECT_NEAR(down.avgangle, 9.0, 1e-6);
  EXPECT_NEAR(down.anglesym, 9.0, 1e-6);

  // Mirrored upward: the same bend to the other side.
  for (cv::Point& p : pts) p.y = -p.y;
  SkelRecord up = chainRecord(pts, 23);
  computeBendProfile(up);
  EXPECT_EQ(up.maxangL, 0.0);
  EXPECT_DOUBLE_EQ(up.maxangR, 90.0);
  EXPECT_NEAR(up.anglesym, -9.0, 1e-6);

  // From 315 to 45 degrees across the +x axis: +90, not -270.
  std::vector<cv::Point> vee = line({0, 0}, {1, -1}, 13);
  for (int i = 1; i <= 12; ++i) vee.emplace_back(12 + i, -12 + i);
  SkelRecord fold = chainRecord(vee, 34);
  computeBendProfile(fold);
  EXPECT_NEAR(fold.maxangL, 90.0, 1e-5);
  EXPECT_EQ(fold.maxangR, 0.0);
  for (double b : fold.angles) EXPECT_GE(b, 0.0);
}

// A chain of 60 points along +x (so distances are index differences) with a
// hand-made bend profile: k = 5, 50 angles, smoothed index i at chain point
// i + 8.
class WavelengthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rec_ = chainRecord(line({0, 0}, {1, 0}, 60), 60);
    rec_.numAngles = 50;
    rec_.angles.assign(50, 0.0);
  }
  // Sets seven angles from `at` to `value`: the smoothed profile then peaks
  // at index `at` with exactly `value`.
  void plateau(int at, double value) {
    for (int j = at; j < at + 7; ++j) rec_.angles[j] = value;
  }
  double wavelength(double len = 60) {
    rec_.len = len;
    std::ostringstream out;
    computeWavelength(rec_, out);
    EXPECT_EQ(out.str(), "");
    return rec_.wavelen;
  }
  SkelRecord rec_;
};

TEST_F(WavelengthTest, CrestsOfExactlyThirteenCount) {
  plateau(10, 13.0);
  plateau(32, 20.0);
  EXPECT_DOUBLE_EQ(wavelength(), 22.0);
  EXPECT_DOUBLE_EQ(rec_.Nwavelen, 22.0 / 60);
  plateau(10, 12.99);
  EXPECT_TRUE(std::isnan(wavelength()));
}

TEST_F(WavelengthTest, TroughsOfExactlyMinusThirteenCount) {
  plateau(5, -20.0);
  plateau(35, -13.0);
  EXPECT_DOUBLE_EQ(wavelength(), 30.0);
  plateau(35, -12.99);
  EXPECT_TRUE(std::isnan(wavelength()));
}

TEST_F(WavelengthTest, BelowAThirdOfTheLengthIsRejected) {
  plateau(10, 20.0);
  plateau(32, 20.0);
  EXPECT_DOUBLE_EQ(wavelength(66), 22.0);  // exactly a third is kept
  EXPECT_TRUE(std::isnan(wavelength(67)));
  EXPECT_TRUE(std::isnan(rec_.Nwavelen));
}

TEST_F(WavelengthTest, ExtremesAtTheEndsOrTheMiddleAreNoTurningPoints) {
  plateau(0, 30.0);  // smoothed index 0: the left range's end
  plateau(32, 30.0);
  EXPECT_TRUE(std::isnan(wavelength()));
  SetUp();
  plateau(22, 30.0);  // the middle, half = 44 / 2
  plateau(32, 30.0);
  EXPECT_TRUE(std::isnan(wavelength()));
}

TEST_F(WavelengthTest, StrongerPairWinsAndTroughsWinTies) {
  plateau(10, 20.0);   // crest at chain point 18
  plateau(26, 30.0);   // crest at chain point 34: crests 16 apart
  plateau(2, -15.0);   // trough at chain point 10
  plateau(36, -30.0);  // trough at chain point 44: troughs 34 apart
  // Weaker trough 15 < weaker crest 20: the troughs are dropped.
  EXPECT_DOUBLE_EQ(wavelength(30), 16.0);
  plateau(2, -20.0);  // equal strength: the crests are dropped
  EXPECT_DOUBLE_EQ(wavelength(30), 34.0);
  plateau(2, -25.0);
  EXPECT_DOUBLE_EQ(wavelength(30), 34.0);
}

TEST(WavelengthSineTest, CrestSpacingOfATravellingWave) {
  // Bend crests at x = 15 and 75, troughs at 45 and 105; the middle of the
  // body is a zero of the bend.
  SkelRecord rec;
  rec.points = sineChain(120, 8, 60, -CV_PI);
  rec.head = rec.points.front();
  rec.tail = rec.points.back();
  rec.computeLength();
  std::ostringstream out;
  computeFeatures(rec, out);
  EXPECT_EQ(out.str(), "");
  ASSERT_FALSE(std::isnan(rec.wavelen));
  EXPECT_NEAR(rec.wavelen, 60.0, 3.0);
  EXPECT_DOUBLE_EQ(rec.Nwavelen, rec.wavelen / rec.len);
  EXPECT_GT(rec.maxangL, 13.0);
  EXPECT_GT(rec.maxangR, 13.0);
  for (double v :
       {rec.avgangle, rec.anglesym, rec.avgamp, rec.ampsym, rec.sinusfs, rec.straightfs}) {
    EXPECT_TRUE(std::isfinite(v));
  }
  // Two full waves: balanced on both sides.
  EXPECT_GT(rec.sinusfs, 0.8);
  EXPECT_LE(rec.sinusfs, 1.0);
}

TEST(WavelengthSineTest, TooShortProfileSaysSoAndStillComputesTheRest) {
  // n = 8: k = 0, 8 angles, one short of a wavelength search.
  SkelRecord rec = chainRecord(line({0, 0}, {1, 0}, 8), 7);
  std::ostringstream out;
  computeFeatures(rec, out);
  EXPECT_EQ(out.str(), "too short for wavelength\n");
  EXPECT_TRUE(std::isnan(rec.wavelen));
  EXPECT_TRUE(std::isnan(rec.Nwavelen));
  EXPECT_DOUBLE_EQ(rec.straightfs, 1.0);
  EXPECT_EQ(rec.cutpnums, 1);

  SkelRecord nine = chainRecord(line({0, 0}, {1, 0}, 9), 8);
  out.str("");
  computeFeatures(nine, out);
  EXPECT_EQ(out.str(), "");
}

TEST(AmplitudeTest, ChainOnTheHeadTailLine) {
  for (cv::Point step : {cv::Point(1, 0), cv::Point(0, 1), cv::Point(1, 1), cv::Point(-1, 1)}) {
    SkelRecord rec = chainRecord(line({10, 10}, step, 30), 29);
    computeAmplitudes(rec);
    for (double a : signedDistances(rec)) EXPECT_NEAR(a, 0.0, 1e-9);
    EXPECT_EQ(rec.maxampL, 0.0);
    EXPECT_EQ(rec.maxampR, 0.0);
    EXPECT_NEAR(rec.avgamp, 0.0, 1e-9);
    EXPECT_EQ(rec.cutpnums, 1) << step;  // the head only
  }
}

TEST(AmplitudeTest, SignsAgreeAcrossTheThreeLineCases) {
  // A point below (+y) a line heading right is on the positive side, whichever
  // case computes it; turning the line around flips it.
  auto sideOf = [](cv::Point head, cv::Point tail, cv::Point p) {
    SkelRecord rec = chainRecord({head, p, tail}, 20);
    return signedDistances(rec)[1];
  };
  EXPECT_DOUBLE_EQ(sideOf({0, 0}, {20, 0}, {10, 3}), 3.0);   // horizontal
  EXPECT_DOUBLE_EQ(sideOf({20, 0}, {0, 0}, {10, 3}), -3.0);  // tail on the left
  EXPECT_GT(sideOf({0, 0}, {20, 1}, {10, 4}), 2.9);          // general, nearly horizontal
  EXPECT_LT(sideOf({20, 1}, {0, 0}, {10, 4}), -2.9);
  EXPECT_DOUBLE_EQ(sideOf({0, 0}, {0, 20}, {3, 10}), -3.0);  // vertical, tail below
  EXPECT_DOUBLE_EQ(sideOf({0, 20}, {0, 0}, {3, 10}), 3.0);
  EXPECT_LT(sideOf({0, 0}, {1, 20}, {4, 10}), -2.9);  // general, nearly vertical
  EXPECT_NEAR(sideOf({0, 0}, {10, 10}, {0, 10}), 10 / std::sqrt(2.0), 1e-9);
}

TEST(AmplitudeTest, HorizontalSineWithTailOnTheLeftFlipsEverySign) {
  std::vector<cv::Point> pts;
  for (int x = 0; x <= 80; ++x) pts.emplace_back(x, cvRound(5 * std::sin(2 * CV_PI * x / 40)));
  SkelRecord right = chainRecord(pts, 100);
  computeAmplitudes(right);
  EXPECT_DOUBLE_EQ(right.maxampL, 5.0);
  EXPECT_DOUBLE_EQ(right.maxampR, 5.0);
  EXPECT_NEAR(right.ampsym, 0.0, 1e-9);
  EXPECT_DOUBLE_EQ(right.Navgamp, right.avgamp / 100);
  EXPECT_DOUBLE_EQ(right.NmaxampL, 0.05);
  // Near the line at x = 0 (the head), 20, 40, 60 and 80.
  EXPECT_EQ(right.cutpnums, 5);

  SkelRecord left = right;
  std::swap(left.head, left.tail);
  const std::vector<double> a = signedDistances(right);
  const std::vector<double> b = signedDistances(left);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(b[i], -a[i]) << i;
}

TEST(FeaturesTest, EmptyChainLeavesUndefinedValuesNotCrashes) {
  SkelRecord rec;
  std::ostringstream out;
  computeFeatures(rec, out);
  EXPECT_EQ(rec.numAngles, 0);
  EXPECT_EQ(out.str(), "too short for wavelength\n");
  EXPECT_TRUE(std::isnan(rec.avgangle));
  EXPECT_TRUE(std::isnan(rec.avgamp));
  EXPECT_TRUE(std::isnan(rec.straightfs));
  EXPECT_TRUE(std::isnan(rec.sinusfs));
}

}  // namespace
}  // namespace dukon

#include "skeleton/feature_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <vector>

namespace dukon {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Movement classes from their numbers, 1 forward ... 4 omega, 0 none.
std::vector<MovementCode> codes(std::initializer_list<int> numbers) {
  std::vector<MovementCode> v;
  for (int k : numbers) v.push_back(static_cast<MovementCode>(k));
  return v;
}
std::vector<MovementCode> codes(size_t n, int number) {
  return std::vector<MovementCode>(n, static_cast<MovementCode>(number));
}
constexpr MovementCode kAll = MovementCode::kNone;
constexpr MovementCode kFwd = MovementCode::kForward;
constexpr MovementCode kBwd = MovementCode::kBackward;
constexpr MovementCode kPause = MovementCode::kPause;
constexpr MovementCode kOmega = MovementCode::kOmega;

TEST(FeatureStatsTest, OneValueFillsEverySlot) {
  const std::vector<double> v = {5.5};
  const std::vector<MovementCode> c = codes({1});
  const auto st = classStatistics(v, c, kFwd, false);
  ASSERT_TRUE(st.has_value());
  for (double x : *st) EXPECT_DOUBLE_EQ(x, 5.5);
  const auto box = classStatistics(v, c, kAll, true);
  ASSERT_TRUE(box.has_value());
  for (int slot = 0; slot <= 7; ++slot) EXPECT_DOUBLE_EQ((*box)[slot], 5.5) << slot;
  EXPECT_FALSE(classStatistics(v, c, kBwd, false).has_value());
}

TEST(FeatureStatsTest, QuantilesFromTheHistogram) {
  std::vector<double> v;
  for (int i = 0; i < 100; ++i) v.push_back(i);
  const std::vector<MovementCode> c = codes(100, 3);
  const auto dec = classStatistics(v, c, kPause, false);
  ASSERT_TRUE(dec.has_value());
  EXPECT_DOUBLE_EQ((*dec)[0], 49.5);
  EXPECT_DOUBLE_EQ((*dec)[1], 0);
  EXPECT_DOUBLE_EQ((*dec)[11], 99);
  // One value per bin: the q-quantile is the bin after the first 100 q values.
  for (int k = 1; k <= 9; ++k) EXPECT_NEAR((*dec)[1 + k], 99 * (10 * k + 0.5) / 100, 1e-9) << k;
  const auto box = classStatistics(v, c, kAll, true);
  ASSERT_TRUE(box.has_value());
  const double bins[] = {5, 25, 50, 75, 95};
  for (int k = 0; k < 5; ++k) EXPECT_NEAR((*box)[2 + k], 99 * (bins[k] + 0.5) / 100, 1e-9);
  EXPECT_DOUBLE_EQ((*box)[7], 99);
  EXPECT_DOUBLE_EQ((*box)[8], 0);
}

TEST(FeatureStatsTest, SeveralQuantilesInOneBin) {
  const std::vector<double> v = {1, 1, 1, 1, 9};
  const std::vector<MovementCode> c = codes(5, 1);
  const auto st = classStatistics(v, c, kFwd, false);
  ASSERT_TRUE(st.has_value());
  for (int slot = 2; slot <= 8; ++slot) EXPECT_NEAR((*st)[slot], 1.04, 1e-12) << slot;
  EXPECT_NEAR((*st)[9], 8.96, 1e-12);
  EXPECT_NEAR((*st)[10], 8.96, 1e-12);
}

TEST(FeatureStatsTest, SkipsUndefinedValuesAndHonoursTheStartBounds) {
  const std::vector<double> v = {1, kNaN, 3, std::numeric_limits<double>::infinity()};
  const std::vector<MovementCode> c = codes(4, 1);
  const auto st = classStatistics(v, c, kFwd, true);
  ASSERT_TRUE(st.has_value());
  EXPECT_DOUBLE_EQ((*st)[0], 2);
  EXPECT_DOUBLE_EQ((*st)[7], 3);
  EXPECT_FALSE(classStatistics({kNaN}, codes({1}), kFwd, true).has_value());

  // Areas in pixels: the minimum never rises above 10000.
  const auto big = classStatistics({20000, 30000}, codes({4, 4}), kOmega, true);
  ASSERT_TRUE(big.has_value());
  EXPECT_DOUBLE_EQ((*big)[0], 25000);
  EXPECT_DOUBLE_EQ((*big)[1], 10000);
  EXPECT_DOUBLE_EQ((*big)[2], 20100);
  EXPECT_DOUBLE_EQ((*big)[4], 29900);
  EXPECT_DOUBLE_EQ((*big)[7], 30000);
  // And the maximum never falls below -10000.
  const auto neg = classStatistics({-20000}, codes({1}), kAll, true);
  ASSERT_TRUE(neg.has_value());
  EXPECT_DOUBLE_EQ((*neg)[1], -20000);
  EXPECT_DOUBLE_EQ((*neg)[7], -10000);
}

}  // namespace
}  // namespace dukon

// The bounded measures, which read a bed's array in place, against the whole field's.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "analysis/RippleStatistics.h"

namespace {

using analysis::ColumnHeights;
using analysis::Measures;
using analysis::Model;
using analysis::RippleStatistics;
using analysis::Snapshot;

constexpr double kPi = 3.14159265358979323846;

// Ripples whose crests wander across the wind, with noise: their correlation across the wind
// ends after a few columns. Shifted downwind by shift rows.
Snapshot WanderingRipples(int rows, int columns, int shift) {
  std::mt19937 random(11);
  std::normal_distribution<double> step(0, 3.0);
  std::uniform_int_distribution<int> noise(-3, 3);
  std::vector<double> phase(static_cast<std::size_t>(columns));
  for (int j = 1; j < columns; ++j)
    phase[j] = phase[j - 1] + step(random);
  Snapshot s{rows, columns, {}};
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < columns; ++j) {
      const int along = i == 0 ? rows - 1 : i;
      s.cells.push_back(std::llround(
          100 + 30 * std::sin(2 * kPi * (along - shift + phase[j]) / 37) + noise(random)));
    }
  }
  return s;
}

// The snapshot as an array holds it, column by column, with a guard cell before each column.
struct Array {
  std::vector<std::int32_t> cells;
  ColumnHeights heights;
};

Array ArrayOf(const Snapshot& s) {
  Array a;
  const int stride = s.rows + 1;
  a.cells.assign(static_cast<std::size_t>(stride) * s.columns, -7);
  for (int i = 0; i < s.rows; ++i) {
    for (int j = 0; j < s.columns; ++j)
      a.cells[static_cast<std::size_t>(j) * stride + 1 + i] = static_cast<std::int32_t>(s.At(i, j));
  }
  a.heights = {s.rows, s.columns, a.cells.data() + 1, stride};
  return a;
}

std::int32_t Jump(std::int32_t h) {
  return h / 10 + 3;
}

// Every measure the same number, the crest correlation to rounding.
void ExpectSame(const Measures& whole, const Measures& bounded) {
  const auto* a = reinterpret_cast<const double*>(&whole);
  const auto* b = reinterpret_cast<const double*>(&bounded);
  const double* correlation = &whole.crestCorrelationLength;
  for (std::size_t k = 0; k < sizeof(Measures) / sizeof(double); ++k) {
    if (a + k == correlation) continue;
    if (std::isnan(a[k])) {
      EXPECT_TRUE(std::isnan(b[k])) << "measure " << k;
    } else {
      EXPECT_EQ(a[k], b[k]) << "measure " << k;
    }
  }
  ASSERT_TRUE(std::isfinite(whole.crestCorrelationLength));
  EXPECT_NEAR(whole.crestCorrelationLength, bounded.crestCorrelationLength, 1e-9);
}

TEST(BoundedStatistics, EqualTheWholeFieldsOnAnOddBedAndAfterACarriedField) {
  const Snapshot first = WanderingRipples(302, 157, 0), second = WanderingRipples(302, 157, 3);
  const Array firstArray = ArrayOf(first), secondArray = ArrayOf(second);
  RippleStatistics whole(Model::Bed), bounded(Model::Bed);
  ExpectSame(whole.Measure(first, 5e6, Jump, 90, std::nan("")),
             bounded.Measure(firstArray.heights, 5e6, Jump, 90, std::nan("")));
  const Measures moved = whole.Measure(second, 5e6, Jump, 90, 2.0);
  ExpectSame(moved, bounded.Measure(secondArray.heights, 5e6, Jump, 90, 2.0));
  EXPECT_NEAR(moved.speed, 1.5, 0.05);

  // A run continued from a checkpoint compares with the field it carried.
  RippleStatistics before(Model::Bed), after(Model::Bed);
  before.Measure(firstArray.heights, 5e6, Jump, 90, std::nan(""));
  after.SetPreviousField(before.PreviousField(), first.rows, first.columns);
  ExpectSame(moved, after.Measure(secondArray.heights, 5e6, Jump, 90, 2.0));
}

TEST(BoundedStatistics, SpeedFromEveryOtherColumnOfAWideBed) {
  const int rows = 1025, columns = 2101;
  ASSERT_EQ(analysis::SpeedStride(rows, columns), 2);
  EXPECT_FALSE(analysis::Bounded(Model::Bed, 1001, 501));
  EXPECT_TRUE(analysis::Bounded(Model::Bed, 16001, 8001));
  EXPECT_FALSE(analysis::Bounded(Model::Profile, 16000001, 1));
  const Snapshot first = WanderingRipples(rows, columns, 0);
  const Snapshot second = WanderingRipples(rows, columns, -4);
  RippleStatistics bounded(Model::Bed);
  bounded.Measure(ArrayOf(first).heights, std::nan(""), Jump, 90, std::nan(""));
  EXPECT_EQ(bounded.PreviousField().size(), std::size_t{rows - 1} * ((columns + 1) / 2));
  EXPECT_EQ(analysis::FieldValues(Model::Bed, rows, columns), (rows - 1) * ((columns + 1) / 2));
  EXPECT_EQ(analysis::FieldValues(Model::Bed, 1001, 501), 1000 * 501);
  const Measures m = bounded.Measure(ArrayOf(second).heights, std::nan(""), Jump, 90, 1.0);
  EXPECT_NEAR(m.speed, -4, 0.1);
  EXPECT_GT(m.speedCorrelation, 0.9);
}

}  // namespace

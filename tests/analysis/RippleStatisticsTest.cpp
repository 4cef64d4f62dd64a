// Ripple statistics on synthetic beds and profiles whose answers are known.
#include "analysis/RippleStatistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace {

using analysis::Measures;
using analysis::Model;
using analysis::RippleStatistics;
using analysis::Snapshot;

constexpr double kPi = 3.14159265358979323846;

// A profile whose domain cells 1..n hold f(i); cell 0 holds f(n), as after a wrap.
Snapshot Profile(int n, const std::function<double(int)>& f) {
  Snapshot s{n + 1, 1, {}};
  s.cells.push_back(std::llround(f(n)));
  for (int i = 1; i <= n; ++i)
    s.cells.push_back(std::llround(f(i)));
  return s;
}

// A bed of rows 0..n and columns 0..w, row i and column j holding f(i, j).
Snapshot Bed(int n, int w, const std::function<double(int, int)>& f) {
  Snapshot s{n + 1, w + 1, {}};
  for (int i = 0; i <= n; ++i) {
    for (int j = 0; j <= w; ++j)
      s.cells.push_back(std::llround(f(i == 0 ? n : i, j)));
  }
  return s;
}

Measures Measure(const Snapshot& s, Model model) {
  RippleStatistics statistics(model);
  return statistics.Measure(
      s, std::nan(""), [](std::int32_t h) { return h; }, 1, std::nan(""));
}

TEST(RippleStatistics, ASineHasItsPeriodAsPeakWavelengthAndOneCrestPerPeriod) {
  const struct {
    Model model;
    int n, period;
  } cases[] = {{Model::Profile, 1000, 125},
               {Model::Profile, 600, 40},
               {Model::Bed, 300, 30},
               {Model::Bed, 240, 60}};
  for (const auto& c : cases) {
    const auto sine = [&](int i) { return 200 + 60 * std::sin(2 * kPi * i / c.period); };
    const Snapshot s = c.model == Model::Profile
                           ? Profile(c.n, sine)
                           : Bed(c.n, 20, [&](int i, int) { return sine(i); });
    const Measures m = Measure(s, c.model);
    EXPECT_DOUBLE_EQ(m.wavelengthPeak, c.period) << c.n << "/" << c.period;
    EXPECT_NEAR(m.wavelengthCentroid, c.period, 0.02 * c.period);
    EXPECT_DOUBLE_EQ(m.crests, static_cast<double>(c.n / c.period));
    EXPECT_NEAR(m.rms, 60 / std::sqrt(2.0), 1.0);
  }
}

TEST(RippleStatistics, ASawtoothRisingOverThreeQuartersHasThatStossFraction) {
  const int period = 400;
  const auto saw = [&](int i) {
    const int t = i % period;
    return t < 300 ? t : 300 - 3 * (t - 300);
  };
  const Measures m = Measure(Profile(4 * period, saw), Model::Profile);
  EXPECT_NEAR(m.stossFraction, 0.75, 0.015);
  EXPECT_NEAR(m.stossSlope, 1.0, 0.05);
  EXPECT_NEAR(m.leeSlope, 3.0, 0.3);
  EXPECT_LT(m.slopeSkewness, 0) << "gentle stoss, steep lee";
}

TEST(RippleStatistics, ACopyShiftedDownwindMovesAtThatSpeed) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 1);
  std::vector<double> pattern(600);
  for (int i = 0; i < 600; ++i)
    pattern[i] =
        100 + 30 * std::sin(2 * kPi * i / 50) + 10 * std::sin(2 * kPi * i / 30) + noise(random);
  const auto at = [&](int i) { return pattern[static_cast<std::size_t>(((i % 600) + 600) % 600)]; };
  const struct {
    Model model;
    int shift;
    double interval;
  } cases[] = {{Model::Profile, 3, 1.0}, {Model::Profile, -3, 2.0}, {Model::Bed, 3, 4.0}};
  for (const auto& c : cases) {
    const auto make = [&](int shift) {
      return c.model == Model::Profile ? Profile(600, [&](int i) { return at(i - shift); })
                                       : Bed(600, 6, [&](int i, int) { return at(i - shift); });
    };
    RippleStatistics statistics(c.model);
    const auto jump = [](std::int32_t h) { return h; };
    const Measures first = statistics.Measure(make(0), std::nan(""), jump, 1, std::nan(""));
    EXPECT_TRUE(std::isnan(first.speed)) << "no speed at the first snapshot";
    const Measures m = statistics.Measure(make(c.shift), std::nan(""), jump, 1, c.interval);
    EXPECT_NEAR(m.speed, c.shift / c.interval, 0.02) << c.shift;
    EXPECT_GT(m.speedCorrelation, 0.95);
  }
}

// A bump moved beyond the search window (half the previous wavelength) peaks at the window's
// edge; the parabola may then be flat or upturned, and must not carry the speed away from it.
TEST(RippleStatistics, APeakAtTheSearchWindowsEdgeMovesAtMostHalfACell) {
  const auto bump = [](int shift) {
    return Profile(600, [shift](int i) {
      return 100 + 50 * std::exp(-(i - 300 - shift) * (i - 300 - shift) / 50.0);
    });
  };
  const auto jump = [](std::int32_t h) { return h; };
  for (const int sign : {1, -1}) {
    for (const int beyond : {1, 2, 5, 8, 12}) {
      RippleStatistics statistics(Model::Profile);
      const Measures first = statistics.Measure(bump(0), std::nan(""), jump, 1, std::nan(""));
      const int edge = sign * static_cast<int>(first.wavelengthCentroid / 2);
      const Measures m = statistics.Measure(bump(edge + sign * beyond), std::nan(""), jump, 1, 1.0);
      EXPECT_LE(std::abs(m.speed - edge), 0.5) << "edge " << edge << ", beyond " << beyond;
    }
  }
}

TEST(RippleStatistics, CrestCorrelationIsUndefinedForStraightCrestsAndShortForNoise) {
  const auto ripples = [](int i, int) { return 100 + 20 * std::sin(2 * kPi * i / 25); };
  EXPECT_TRUE(std::isnan(Measure(Bed(200, 40, ripples), Model::Bed).crestCorrelationLength));
  std::mt19937 random(3);
  std::uniform_int_distribution<int> height(80, 120);
  std::vector<int> cells(201 * 41);
  for (int& h : cells)
    h = height(random);
  const Measures noise = Measure(
      Bed(200, 40, [&](int i, int j) { return cells[std::size_t(i) * 41 + j]; }), Model::Bed);
  EXPECT_GT(noise.crestCorrelationLength, 0);
  EXPECT_LT(noise.crestCorrelationLength, 1.0);
}

TEST(RippleStatistics, AFlatBedHasNoWavelengthCrestsOrSlopesButItsBudget) {
  const Snapshot flat = Bed(50, 10, [](int, int) { return 5; });
  RippleStatistics statistics(Model::Bed);
  const Measures m = statistics.Measure(
      flat, 3000, [](std::int32_t h) { return 2 * h; }, 5, 1);
  EXPECT_EQ(m.sand, 51 * 11 * 5);
  EXPECT_EQ(m.sandOutside, 3000 - 51 * 11 * 5);
  EXPECT_EQ(m.rms, 0);
  for (const double v : {m.wavelengthPeak, m.wavelengthCentroid, m.crests, m.crestSpacing,
                         m.stossFraction, m.slopeSkewness, m.speed, m.meanJump})
    EXPECT_TRUE(std::isnan(v));
  EXPECT_EQ(m.idleFraction, 1.0) << "no cell higher than q = 5";
  EXPECT_DOUBLE_EQ(m.columnCentroid, 5.0);
}

// Below one grain of roughness left by the detrending, the shape's measures are noise: nan,
// whatever the heights themselves span; from one grain on, they are numbers.
TEST(RippleStatistics, ShapeMeasuresAreNanWhereTheDetrendedBedIsFlatToAGrain) {
  const struct {
    const char* what;
    Model model;
    Snapshot snapshot;
    bool flat;
  } cases[] = {
      {"ripples of a grain", Model::Bed,
       Bed(100, 4, [](int i, int) { return 50 + std::round(1.2 * std::sin(2 * kPi * i / 25)); }),
       true},
      {"ripples of four grains", Model::Bed,
       Bed(100, 4, [](int i, int) { return 50 + std::round(4 * std::sin(2 * kPi * i / 25)); }),
       false},
      {"a steep even slope", Model::Profile, Profile(200, [](int i) { return 400 - 1.5 * i; }),
       true},
      {"ripples on the slope", Model::Profile,
       Profile(200, [](int i) { return 400 - 1.5 * i + 5 * std::sin(2 * kPi * i / 40); }), false},
  };
  for (const auto& c : cases) {
    RippleStatistics statistics(c.model);
    const auto jump = [](std::int32_t h) { return h / 10; };
    statistics.Measure(c.snapshot, std::nan(""), jump, 1, 1);
    const Measures m = statistics.Measure(c.snapshot, std::nan(""), jump, 1, 1);
    EXPECT_EQ(m.rms < 1, c.flat) << c.what << ": rms " << m.rms;
    for (const double v : {m.wavelengthPeak, m.wavelengthCentroid, m.crests, m.crestSpacing,
                           m.speed, m.speedCorrelation})
      EXPECT_EQ(std::isnan(v), c.flat) << c.what;
    EXPECT_FALSE(std::isnan(m.meanJump)) << c.what << ": not a measure of shape";
  }
}

TEST(RippleStatistics, JumpsCountOnlySitesAboveQ) {
  Snapshot s{3, 1, {1, 4, 10}};
  RippleStatistics statistics(Model::Profile);
  const Measures m = statistics.Measure(
      s, std::nan(""), [](std::int32_t h) { return 2 * h + 1; }, 3, 1);
  EXPECT_DOUBLE_EQ(m.meanJump, (9 + 21) / 2.0);
  EXPECT_DOUBLE_EQ(m.idleFraction, 1 / 3.0);
  EXPECT_EQ(m.endStep, 6);
}

}  // namespace

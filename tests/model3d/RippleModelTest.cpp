#include "model3d/RippleModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>

#include "common/Random.h"
#include "scenarios/Scenarios.h"
#include "tests/model3d/ReferenceBed.h"
#include "tests/support/GeneratorControl.h"

namespace {

using model3d::MapSettings;
using model3d::ReliefSettings;
using model3d::RippleParams;

template <class S>
auto& Grid() {
  return model3d::rippleGrid<S>;
}

template <class S>
std::int64_t Total() {
  const auto& cells = Grid<S>().cells;
  return std::accumulate(std::begin(cells), std::end(cells), std::int64_t{0});
}

using testing_support::SetNextState;
using testing_support::StateForPick;

template <class S>
void InitBed(const RippleParams& p) {
  model3d::rippleParams<S> = p;
  model3d::InitRippleGrid<S>();
}

// Every cell of the model, guards included, in the reference's order.
template <class S>
std::vector<std::int32_t> Cells() {
  std::vector<std::int32_t> cells;
  for (int i = -1; i <= S::lastRow; ++i)
    for (int j = -1; j <= S::lastColumn; ++j)
      cells.push_back(Grid<S>().at(i, j));
  return cells;
}

TEST(RippleGrid, InitFillsTheBedAndClearsEverythingElse) {
  InitBed<ReliefSettings>(scenarios::kReliefDefaults);
  for (int i = -1; i <= ReliefSettings::lastRow; ++i) {
    for (int j = -1; j <= ReliefSettings::lastColumn; ++j) {
      const bool bed = i >= 0 && i <= 300 && j >= 0 && j <= 30;
      ASSERT_EQ(Grid<ReliefSettings>().at(i, j), bed ? 20 : 0) << i << "," << j;
    }
  }
}

TEST(RippleGrid, InitWithNegativeSizesFillsNothing) {
  InitBed<ReliefSettings>({-1, 30, 20, 2.0, 5.0, 1});
  EXPECT_EQ(Total<ReliefSettings>(), 0);
  InitBed<ReliefSettings>({300, -1, 20, 2.0, 5.0, 1});
  EXPECT_EQ(Total<ReliefSettings>(), 0);
}

TEST(RippleGrid, HeightAtRoundsBothCoordinatesHalfEven) {
  InitBed<ReliefSettings>({10, 10, 0, 2.0, 5.0, 1});
  Grid<ReliefSettings>().at(2, 4) = 7;
  Grid<ReliefSettings>().at(4, 2) = 9;
  EXPECT_EQ(model3d::HeightAt<ReliefSettings>(2.5, 3.5), 7.0);
  EXPECT_EQ(model3d::HeightAt<ReliefSettings>(3.5, 2.5), 9.0);
  EXPECT_EQ(model3d::HeightAt<ReliefSettings>(-5.0, 2.0), 0.0);
  EXPECT_EQ(model3d::HeightAt<ReliefSettings>(1e300, NAN), 0.0);
}

TEST(JumpLength, RoundsTiesToEvenAndClampsWildFactors) {
  struct Case {
    std::int32_t height;
    double b, wind;
    std::int32_t length;
  };
  constexpr std::int32_t max = model3d::MaxJumpLength;
  const Case cases[] = {
      {20, 2.0, 5.0, 45},   {25, 0.5, 0.0, 12},  // 12.5
      {27, 0.5, 0.0, 14},                        // 13.5
      {1, 1e300, 0.0, max}, {1, -1e300, 0.0, -max},      {0, 0.0, INFINITY, max},
      {3, NAN, 0.0, 0},     {3, INFINITY, -INFINITY, 0},  // NaN
  };
  for (const Case& c : cases) {
    InitBed<ReliefSettings>({5, 5, c.height, c.b, c.wind, 1});
    EXPECT_EQ(model3d::JumpLength<ReliefSettings>(2, 2), c.length) << c.height << " " << c.b;
  }
}

TEST(SteepestNeighbour, PicksTheFirstOfTheLargestDifferences) {
  struct Case {
    std::int32_t next, previous, left, right;  // rows i+1, i-1, columns j-1, j+1
    std::int32_t result;
  };
  const Case cases[] = {
      {5, 5, 5, 5, 0},  {3, 3, 1, 1, 3}, {9, 4, 4, 4, -1}, {5, 5, 5, 4, 4},
      {7, 3, 5, 5, -1}, {3, 7, 5, 5, 1}, {5, 8, 2, 5, -2}, {4, 4, 4, 4, 1},
  };
  for (const Case& c : cases) {
    InitBed<ReliefSettings>({10, 10, 0, 2.0, 5.0, 1});
    auto& g = Grid<ReliefSettings>();
    g.at(5, 5) = 5;
    g.at(6, 5) = c.next;
    g.at(4, 5) = c.previous;
    g.at(5, 4) = c.left;
    g.at(5, 6) = c.right;
    EXPECT_EQ(model3d::SteepestNeighbour<ReliefSettings>(5, 5), c.result)
        << c.next << " " << c.previous << " " << c.left << " " << c.right;
  }
}

// One pick on a bed that is flat at 0 but for one cell of height q + 1, which is picked
// first: it alone jumps, once, by wind grains (b = 0).
struct JumpCase {
  std::int32_t site;
  double length;
  std::int32_t landing;
};

TEST(SaltationSweep, LandsWithOneSubtractionAndKeepsStrayGrainsInTheArray) {
  constexpr std::int32_t L = 300, q = 3;
  const JumpCase cases[] = {
      {195, 105, 300},                       // ends on L: stays
      {196, 105, 1},                         // L + 1 wraps to 1, never to 0
      {200, 0, 200},                         // a jump of 0 puts the grains back
      {100, -40, 60},                        // upwind, inside the bed
      {10, -50, -1},                         // upwind off the array: the guard row
      {300, 2000, ReliefSettings::lastRow},  // 2300 - 300 is beyond the array: its last row
      {250, 400, 350},                       // longer than L: leaves the bed for a row outside it
  };
  for (const JumpCase& c : cases) {
    InitBed<ReliefSettings>({L, 0, 0, 0.0, c.length, q});
    Grid<ReliefSettings>().at(c.site, 0) = q + 1;
    SetNextState(StateForPick(c.site, L));
    model3d::SaltationSweep<ReliefSettings>();
    const std::int32_t expected = c.landing == c.site ? q + 1 : q;
    EXPECT_EQ(Grid<ReliefSettings>().at(c.landing, 0), expected) << c.site << " + " << c.length;
    EXPECT_EQ(Total<ReliefSettings>(), q + 1);
  }
}

TEST(SaltationSweep, AHeightEqualToQDoesNotJump) {
  InitBed<ReliefSettings>({300, 0, 0, 0.0, 50.0, 3});
  Grid<ReliefSettings>().at(100, 0) = 3;
  SetNextState(StateForPick(100, 300));
  model3d::SaltationSweep<ReliefSettings>();
  EXPECT_EQ(Grid<ReliefSettings>().at(100, 0), 3);
  EXPECT_EQ(Grid<ReliefSettings>().at(150, 0), 0);
}

// A 3 x 3 bed: its one creep event can be steered to the centre, whose neighbours are edges
// of height 0 that the edge stages leave alone.
TEST(CreepSweep, MovesAThirdOfTheDifferencePlusOneToTheFirstSteepestNeighbour) {
  const std::pair<std::int32_t, std::int32_t> moved[] = {{1, 1}, {2, 2}, {3, 2}, {4, 2},
                                                         {5, 3}, {7, 3}, {8, 4}, {9, 4}};
  for (const auto& [centre, amount] : moved) {
    InitBed<ReliefSettings>({2, 2, 0, 2.0, 5.0, 1});
    Grid<ReliefSettings>().at(1, 1) = centre;
    common::SetRandomState(0);
    model3d::CreepSweep<ReliefSettings>();  // state 1 then 134775814: both picks give 1
    EXPECT_EQ(Grid<ReliefSettings>().at(1, 1), centre - amount) << centre;
    EXPECT_EQ(Grid<ReliefSettings>().at(2, 1), amount) << "the next row comes first";
    EXPECT_EQ(Total<ReliefSettings>(), centre);
  }
}

TEST(CreepSweep, EdgeCellsShedOneGrainInwardsOnlyWhenPositiveAndHigher) {
  struct Case {
    std::int32_t edge, inner, edgeAfter;
  };
  const Case cases[] = {{1, 0, 0}, {0, 0, 0}, {2, 2, 2}, {3, 1, 2}, {-2, -5, -2}};
  for (const Case& c : cases) {
    InitBed<ReliefSettings>({300, 30, 0, 2.0, 5.0, 1});
    Grid<ReliefSettings>().at(150, 0) = c.edge;  // side edge
    Grid<ReliefSettings>().at(150, 1) = c.inner;
    Grid<ReliefSettings>().at(0, 15) = c.edge;  // front edge
    Grid<ReliefSettings>().at(1, 15) = c.inner;
    common::SetRandomState(5);
    model3d::CreepSweep<ReliefSettings>();
    EXPECT_EQ(Grid<ReliefSettings>().at(150, 0), c.edgeAfter) << c.edge << " " << c.inner;
    EXPECT_EQ(Grid<ReliefSettings>().at(0, 15), c.edgeAfter) << c.edge << " " << c.inner;
    EXPECT_EQ(Total<ReliefSettings>(), 2 * (c.edge + c.inner));
  }
}

template <class S, class Sweep>
std::uint64_t DrawsOf(const RippleParams& p, Sweep sweep) {
  InitBed<S>(p);
  common::SetRandomState(77);
  sweep();
  const std::uint32_t after = common::randomState;
  common::SetRandomState(77);
  for (std::uint64_t n = 1; n < 100'000'000; ++n) {
    if (common::AdvanceRandom() == after) return n;
  }
  return 0;
}

TEST(RandomDraws, EverySweepDrawsItsFixedCountWhetherOrNotSandMoves) {
  using S = ReliefSettings;
  const RippleParams bed = scenarios::kReliefDefaults;
  EXPECT_EQ(DrawsOf<S>(bed, model3d::SaltationSweep<S>), 31u * 300);
  EXPECT_EQ(DrawsOf<S>(bed, model3d::CreepSweep<S>), 2u * 327);
  EXPECT_EQ(DrawsOf<S>(bed, model3d::RunBatch<S>), 15u * 31 * 300 + 2u * 5 * 90 * 327);
  model3d::rippleParams<S> = bed;
  EXPECT_EQ(model3d::RandomNumbersPerBatch<S>(), 15 * 31 * 300 + 2 * 5 * 90 * 327);
  const RippleParams tiny{1, 1, 20, 2.0, 5.0, 1};
  EXPECT_EQ(DrawsOf<S>(tiny, model3d::SaltationSweep<S>), 2u);
  EXPECT_EQ(DrawsOf<S>(tiny, model3d::CreepSweep<S>), 2u);
  using M = MapSettings;
  EXPECT_EQ(DrawsOf<M>(scenarios::kMapDefaults, model3d::RunBatch<M>),
            9u * 151 * 300 + 2u * 3 * 150 * 447);
}

TEST(RunBatch, OnTheAllZeroStateDrawsButMovesNothing) {
  InitBed<MapSettings>({0, 0, 0, 0.0, 0.0, 0});
  common::SetRandomState(3);
  model3d::RunBatch<MapSettings>();
  EXPECT_NE(common::randomState, 3u);
  EXPECT_EQ(Total<MapSettings>(), 0);
}

// The optimised sweeps against a literal reading of the rules, cell for cell, guards included.
template <class S>
void ExpectSameAsReference(const RippleParams& p, std::uint32_t seed, int batches) {
  InitBed<S>(p);
  reference::Bed<S> ref(p);
  common::SetRandomState(seed);
  for (int k = 0; k < batches; ++k)
    model3d::RunBatch<S>();
  const std::uint32_t modelState = common::randomState;
  common::SetRandomState(seed);
  for (int k = 0; k < batches; ++k)
    ref.Batch();
  EXPECT_EQ(modelState, common::randomState);
  EXPECT_TRUE(Cells<S>() == ref.cells_)
      << p.layerLength << "x" << p.layerWidth << " b " << p.factorB << " wind " << p.windStrength;
}

TEST(RunBatch, AgreesWithTheLiteralRules) {
  const RippleParams relief[] = {scenarios::kReliefDefaults, {1, 1, 20, 2.0, 5.0, 1},
                                 {2, 2, 7, 0.5, 0.0, 0},     {40, 3, 9, -1.5, 2.0, 2},
                                 {25, 12, 30, 40.0, 3.0, 1}, {60, 5, 1000, 2.0, 5.0, 1000},
                                 {10, 4, 15, 1e9, -1e9, 3},  {0, 0, 0, 0.0, 0.0, 0},
                                 {0, 7, 5, 2.0, 5.0, 1},     {9, 0, 5, 2.0, 5.0, 1}};
  std::uint32_t seed = 1;
  for (const RippleParams& p : relief)
    ExpectSameAsReference<ReliefSettings>(p, seed++, 2);
  ExpectSameAsReference<MapSettings>(scenarios::kMapDefaults, 99, 1);
  ExpectSameAsReference<MapSettings>({1000, 8, 12, 3.0, 900.0, 2}, 7, 1);
}

TEST(RunBatch, KeepsTheArrayTotalWhateverTheFactors) {
  const RippleParams beds[] = {scenarios::kReliefDefaults,
                               {300, 30, 20, 1e300, 1e300, 1},
                               {300, 30, 20, -1e300, 5.0, 1},
                               {999, 499, 1000, NAN, 5.0, 0},
                               {999, 499, 1000, 2.0, INFINITY, 1000},
                               {5000, 9000, 3, 2.0, 5.0, 1}};  // sizes beyond the array
  for (const RippleParams& p : beds) {
    InitBed<ReliefSettings>(p);
    const std::int64_t before = Total<ReliefSettings>();
    common::SetRandomState(11);
    model3d::RunBatch<ReliefSettings>();
    EXPECT_EQ(Total<ReliefSettings>(), before) << p.factorB << " " << p.windStrength;
  }
}

TEST(RunBatch, LargestMapBedKeepsItsTotal) {
  InitBed<MapSettings>(scenarios::kLargestMapBed);
  const std::int64_t before = Total<MapSettings>();
  common::SetRandomState(5);
  model3d::RunBatch<MapSettings>();
  EXPECT_EQ(Total<MapSettings>(), before);
  EXPECT_EQ(before, 1001 * 501 * 5);
}

// Pins the whole model down: any change to the rules or the generator shows here.
TEST(RunBatch, GoldenSeededDefaultBatch) {
  scenarios::SetUpBed<ReliefSettings>(scenarios::kReliefDefaults, 20261208);
  model3d::RunBatch<ReliefSettings>();
  std::uint64_t hash = 1469598103934665603u;  // FNV-1a over the bed, row by row
  for (int i = 0; i <= 300; ++i) {
    for (int j = 0; j <= 30; ++j) {
      hash = (hash ^ static_cast<std::uint32_t>(Grid<ReliefSettings>().at(i, j))) * 1099511628211u;
    }
  }
  EXPECT_EQ(hash, 6079489802005245808u);
  EXPECT_EQ(common::randomState, 2856209744u);
}

}  // namespace

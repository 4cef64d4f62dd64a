#include "model3d/RippleModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numeric>
#include <thread>

#include "common/Random.h"
#include "scenarios/Scenarios.h"
#include "tests/model3d/ReferenceBed.h"
#include "tests/support/GeneratorControl.h"

namespace {

using model3d::MapSettings;
using model3d::ReliefSettings;
using model3d::RippleParams;

template <class S>
using Bed = model3d::BedState<S>;

template <class S>
std::int64_t Total(const Bed<S>& bed) {
  const auto& cells = bed.grid.cells;
  return std::accumulate(std::begin(cells), std::end(cells), std::int64_t{0});
}

using testing_support::SetNextState;
using testing_support::StateForPick;

// A new bed of these parameters, its generator at seed.
template <class S>
std::unique_ptr<Bed<S>> NewBed(const RippleParams& p, std::uint32_t seed = 0) {
  return scenarios::MakeBed<S>(p, seed);
}

// Every cell of the model, guards included, in the reference's order.
template <class S>
std::vector<std::int32_t> Cells(const Bed<S>& bed) {
  std::vector<std::int32_t> cells;
  for (int i = -1; i <= S::lastRow; ++i)
    for (int j = -1; j <= S::lastColumn; ++j)
      cells.push_back(bed.grid.at(i, j));
  return cells;
}

TEST(RippleGrid, InitFillsTheBedAndClearsEverythingElse) {
  const auto bed = NewBed<ReliefSettings>(scenarios::kReliefDefaults);
  bed->grid.at(400, 40) = 3;  // left over from an earlier bed
  model3d::InitRippleGrid(*bed);
  for (int i = -1; i <= ReliefSettings::lastRow; ++i) {
    for (int j = -1; j <= ReliefSettings::lastColumn; ++j) {
      const bool inside = i >= 0 && i <= 300 && j >= 0 && j <= 30;
      ASSERT_EQ(bed->grid.at(i, j), inside ? 20 : 0) << i << "," << j;
    }
  }
}

TEST(RippleGrid, InitWithNegativeSizesFillsNothing) {
  EXPECT_EQ(Total(*NewBed<ReliefSettings>({-1, 30, 20, 2.0, 5.0, 1})), 0);
  EXPECT_EQ(Total(*NewBed<ReliefSettings>({300, -1, 20, 2.0, 5.0, 1})), 0);
}

TEST(RippleGrid, HeightAtRoundsBothCoordinatesHalfEven) {
  const auto bed = NewBed<ReliefSettings>({10, 10, 0, 2.0, 5.0, 1});
  bed->grid.at(2, 4) = 7;
  bed->grid.at(4, 2) = 9;
  EXPECT_EQ(model3d::HeightAt(*bed, 2.5, 3.5), 7.0);
  EXPECT_EQ(model3d::HeightAt(*bed, 3.5, 2.5), 9.0);
  EXPECT_EQ(model3d::HeightAt(*bed, -5.0, 2.0), 0.0);
  EXPECT_EQ(model3d::HeightAt(*bed, 1e300, NAN), 0.0);
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
    const auto bed = NewBed<ReliefSettings>({5, 5, c.height, c.b, c.wind, 1});
    EXPECT_EQ(model3d::JumpLength(*bed, 2, 2), c.length) << c.height << " " << c.b;
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
    const auto bed = NewBed<ReliefSettings>({10, 10, 0, 2.0, 5.0, 1});
    auto& g = bed->grid;
    g.at(5, 5) = 5;
    g.at(6, 5) = c.next;
    g.at(4, 5) = c.previous;
    g.at(5, 4) = c.left;
    g.at(5, 6) = c.right;
    EXPECT_EQ(model3d::SteepestNeighbour(*bed, 5, 5), c.result)
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
    const auto bed = NewBed<ReliefSettings>({L, 0, 0, 0.0, c.length, q});
    bed->grid.at(c.site, 0) = q + 1;
    SetNextState(bed->random, StateForPick(c.site, L));
    model3d::SaltationSweep(*bed);
    const std::int32_t expected = c.landing == c.site ? q + 1 : q;
    EXPECT_EQ(bed->grid.at(c.landing, 0), expected) << c.site << " + " << c.length;
    EXPECT_EQ(Total(*bed), q + 1);
  }
}

TEST(SaltationSweep, AHeightEqualToQDoesNotJump) {
  const auto bed = NewBed<ReliefSettings>({300, 0, 0, 0.0, 50.0, 3});
  bed->grid.at(100, 0) = 3;
  SetNextState(bed->random, StateForPick(100, 300));
  model3d::SaltationSweep(*bed);
  EXPECT_EQ(bed->grid.at(100, 0), 3);
  EXPECT_EQ(bed->grid.at(150, 0), 0);
}

// A 3 x 3 bed: its one creep event can be steered to the centre, whose neighbours are edges
// of height 0 that the edge stages leave alone.
TEST(CreepSweep, MovesAThirdOfTheDifferencePlusOneToTheFirstSteepestNeighbour) {
  const std::pair<std::int32_t, std::int32_t> moved[] = {{1, 1}, {2, 2}, {3, 2}, {4, 2},
                                                         {5, 3}, {7, 3}, {8, 4}, {9, 4}};
  for (const auto& [centre, amount] : moved) {
    const auto bed = NewBed<ReliefSettings>({2, 2, 0, 2.0, 5.0, 1}, 0);
    bed->grid.at(1, 1) = centre;
    model3d::CreepSweep(*bed);  // state 1 then 134775814: both picks give 1
    EXPECT_EQ(bed->grid.at(1, 1), centre - amount) << centre;
    EXPECT_EQ(bed->grid.at(2, 1), amount) << "the next row comes first";
    EXPECT_EQ(Total(*bed), centre);
  }
}

TEST(CreepSweep, EdgeCellsShedOneGrainInwardsOnlyWhenPositiveAndHigher) {
  struct Case {
    std::int32_t edge, inner, edgeAfter;
  };
  const Case cases[] = {{1, 0, 0}, {0, 0, 0}, {2, 2, 2}, {3, 1, 2}, {-2, -5, -2}};
  for (const Case& c : cases) {
    const auto bed = NewBed<ReliefSettings>({300, 30, 0, 2.0, 5.0, 1}, 5);
    bed->grid.at(150, 0) = c.edge;  // side edge
    bed->grid.at(150, 1) = c.inner;
    bed->grid.at(0, 15) = c.edge;  // front edge
    bed->grid.at(1, 15) = c.inner;
    model3d::CreepSweep(*bed);
    EXPECT_EQ(bed->grid.at(150, 0), c.edgeAfter) << c.edge << " " << c.inner;
    EXPECT_EQ(bed->grid.at(0, 15), c.edgeAfter) << c.edge << " " << c.inner;
    EXPECT_EQ(Total(*bed), 2 * (c.edge + c.inner));
  }
}

// How many numbers sweep draws from the bed's generator, counted by stepping a second one.
template <class S, class Sweep>
std::uint64_t DrawsOf(const RippleParams& p, Sweep sweep) {
  const auto bed = NewBed<S>(p, 77);
  sweep(*bed);
  common::Random counter{77};
  for (std::uint64_t n = 1; n < 100'000'000; ++n) {
    if (common::AdvanceRandom(counter) == bed->random.state) return n;
  }
  return 0;
}

TEST(RandomDraws, EverySweepDrawsItsFixedCountWhetherOrNotSandMoves) {
  using S = ReliefSettings;
  const RippleParams bed = scenarios::kReliefDefaults;
  EXPECT_EQ(DrawsOf<S>(bed, model3d::SaltationSweep<S>), 31u * 300);
  EXPECT_EQ(DrawsOf<S>(bed, model3d::CreepSweep<S>), 2u * 327);
  EXPECT_EQ(DrawsOf<S>(bed, model3d::RunBatch<S>), 15u * 31 * 300 + 2u * 5 * 90 * 327);
  EXPECT_EQ(model3d::RandomNumbersPerBatch(*NewBed<S>(bed)), 15 * 31 * 300 + 2 * 5 * 90 * 327);
  const RippleParams tiny{1, 1, 20, 2.0, 5.0, 1};
  EXPECT_EQ(DrawsOf<S>(tiny, model3d::SaltationSweep<S>), 2u);
  EXPECT_EQ(DrawsOf<S>(tiny, model3d::CreepSweep<S>), 2u);
  using M = MapSettings;
  EXPECT_EQ(DrawsOf<M>(scenarios::kMapDefaults, model3d::RunBatch<M>),
            9u * 151 * 300 + 2u * 3 * 150 * 447);
}

TEST(RunBatch, OnTheAllZeroStateDrawsButMovesNothing) {
  const auto bed = NewBed<MapSettings>({0, 0, 0, 0.0, 0.0, 0}, 3);
  model3d::RunBatch(*bed);
  EXPECT_NE(bed->random.state, 3u);
  EXPECT_EQ(Total(*bed), 0);
}

// The optimised sweeps against a literal reading of the rules, cell for cell, guards included.
template <class S>
void ExpectSameAsReference(const RippleParams& p, std::uint32_t seed, int batches) {
  const auto bed = NewBed<S>(p, seed);
  reference::Bed<S> ref(p);
  ref.random.state = seed;
  for (int k = 0; k < batches; ++k) {
    model3d::RunBatch(*bed);
    ref.Batch();
  }
  EXPECT_EQ(bed->random.state, ref.random.state);
  EXPECT_TRUE(Cells(*bed) == ref.cells_)
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

// Heights set through the API may lie far apart: slopes of 2^15 and more take the events' exact
// division, four at a time or not, cell for cell as the literal rules.
TEST(CreepSweep, SlopesOfAnySteepnessAgreeWithTheLiteralRules) {
  const RippleParams p = {30, 12, 0, 2.0, 5.0, 1};
  for (const std::uint32_t most : {40000u, 70000u, 1u << 20, 1u << 28}) {
    const auto bed = NewBed<ReliefSettings>(p, most);
    reference::Bed<ReliefSettings> ref(p);
    ref.random.state = most;
    std::uint32_t state = most;
    for (int i = 0; i <= p.layerLength; ++i) {
      for (int j = 0; j <= p.layerWidth; ++j) {
        state = common::NextState(state);
        const auto height = static_cast<std::int32_t>(state % most);
        bed->grid.at(i, j) = ref.h(i, j) = height;
      }
    }
    for (int n = 0; n < 4; ++n) {
      model3d::CreepSweep(*bed);
      ref.Creep();
    }
    EXPECT_EQ(bed->random.state, ref.random.state);
    EXPECT_TRUE(Cells(*bed) == ref.cells_) << most;
  }
}

TEST(RunBatch, KeepsTheArrayTotalWhateverTheFactors) {
  const RippleParams beds[] = {scenarios::kReliefDefaults,
                               {300, 30, 20, 1e300, 1e300, 1},
                               {300, 30, 20, -1e300, 5.0, 1},
                               {999, 499, 1000, NAN, 5.0, 0},
                               {999, 499, 1000, 2.0, INFINITY, 1000},
                               {5000, 9000, 3, 2.0, 5.0, 1}};  // sizes beyond the array
  for (const RippleParams& p : beds) {
    const auto bed = NewBed<ReliefSettings>(p, 11);
    const std::int64_t before = Total(*bed);
    model3d::RunBatch(*bed);
    EXPECT_EQ(Total(*bed), before) << p.factorB << " " << p.windStrength;
  }
}

TEST(RunBatch, LargestMapBedKeepsItsTotal) {
  const auto bed = NewBed<MapSettings>(scenarios::kLargestMapBed, 5);
  const std::int64_t before = Total(*bed);
  model3d::RunBatch(*bed);
  EXPECT_EQ(Total(*bed), before);
  EXPECT_EQ(before, 1001 * 501 * 5);
}

// FNV-1a over the bed, row by row.
template <class S>
std::uint64_t BedHash(const Bed<S>& bed) {
  std::uint64_t hash = 1469598103934665603u;
  for (int i = 0; i <= bed.params.layerLength; ++i) {
    for (int j = 0; j <= bed.params.layerWidth; ++j)
      hash = (hash ^ static_cast<std::uint32_t>(bed.grid.at(i, j))) * 1099511628211u;
  }
  return hash;
}

// Pins the whole model down: any change to the rules or the generator shows here.
TEST(RunBatch, GoldenSeededDefaultBatch) {
  const auto bed = NewBed<ReliefSettings>(scenarios::kReliefDefaults, 20261208);
  model3d::RunBatch(*bed);
  EXPECT_EQ(BedHash(*bed), 6079489802005245808u);
  EXPECT_EQ(bed->random.state, 2856209744u);
}

// Beds are values: two advanced in turn, or in two threads at once, each end as when run alone,
// and neither generator draws for the other.
TEST(BedState, TwoBedsRunInTurnOrInThreadsAsWhenAlone) {
  const RippleParams map = {120, 60, 5, 2.0, 5.0, 1};
  const auto aloneA = NewBed<MapSettings>(map, 1), aloneB = NewBed<MapSettings>(map, 2);
  for (int k = 0; k < 3; ++k)
    model3d::RunBatch(*aloneA);
  for (int k = 0; k < 3; ++k)
    model3d::RunBatch(*aloneB);
  const auto turnA = NewBed<MapSettings>(map, 1), turnB = NewBed<MapSettings>(map, 2);
  for (int k = 0; k < 3; ++k) {
    model3d::RunBatch(*turnA);
    model3d::RunBatch(*turnB);
  }
  const auto threadA = NewBed<MapSettings>(map, 1), threadB = NewBed<MapSettings>(map, 2);
  std::thread other([&] {
    for (int k = 0; k < 3; ++k)
      model3d::RunBatch(*threadB);
  });
  for (int k = 0; k < 3; ++k)
    model3d::RunBatch(*threadA);
  other.join();
  for (const auto* a : {turnA.get(), threadA.get()}) {
    EXPECT_EQ(Cells(*a), Cells(*aloneA));
    EXPECT_EQ(a->random.state, aloneA->random.state);
  }
  for (const auto* b : {turnB.get(), threadB.get()}) {
    EXPECT_EQ(Cells(*b), Cells(*aloneB));
    EXPECT_EQ(b->random.state, aloneB->random.state);
  }
  EXPECT_NE(Cells(*aloneA), Cells(*aloneB));
}

}  // namespace

// Beds sized at run time and the creep variants without a preferred side, against the literal
// rules and against the programs' own beds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"
#include "tests/model3d/ReferenceBed.h"

namespace {

using model3d::CreepVariant;
using model3d::MapSettings;
using model3d::OpenSettings;
using model3d::RippleParams;
using model3d::Schedule;
using model3d::TieRule;

template <class S>
std::int64_t Total(const model3d::BedState<S>& bed) {
  const auto& g = bed.grid;
  return std::accumulate(&g.cells[0], &g.cells[0] + g.size, std::int64_t{0});
}

// Every cell of the array, guards included, in the reference's order.
template <class S>
std::vector<std::int32_t> Cells(const model3d::BedState<S>& bed) {
  std::vector<std::int32_t> cells;
  for (int i = -1; i <= bed.grid.lastRow; ++i)
    for (int j = -1; j <= bed.grid.lastColumn; ++j)
      cells.push_back(bed.grid.at(i, j));
  return cells;
}

constexpr CreepVariant kRandom{TieRule::random, false};
constexpr CreepVariant kAlternating{TieRule::alternating, false};
constexpr CreepVariant kPeriodic{TieRule::firstInOrder, true};
constexpr CreepVariant kRandomPeriodic{TieRule::random, true};
constexpr CreepVariant kAlternatingPeriodic{TieRule::alternating, true};

struct OpenCase {
  RippleParams params;
  Schedule schedule;
  CreepVariant variant;
  std::uint32_t seed;
};

TEST(OpenBed, AgreesWithTheLiteralRules) {
  const OpenCase cases[] = {
      {{40, 12, 9, 2.0, 5.0, 1}, Schedule::relief, {}, 1},
      {{25, 9, 30, 40.0, 3.0, 1}, Schedule::map, {}, 2},
      {{1, 1, 20, 2.0, 5.0, 1}, Schedule::relief, {}, 3},
      {{30, 7, 15, 1e9, -1e9, 3}, Schedule::map, {}, 4},  // jumps off the array both ways
      {{30, 11, 12, 3.0, 40.0, 2}, Schedule::map, kRandom, 5},
      {{30, 11, 12, 3.0, 40.0, 2}, Schedule::map, kAlternating, 6},
      {{30, 11, 12, 2.0, 5.0, 1}, Schedule::relief, kPeriodic, 7},
      {{22, 6, 8, 2.0, 5.0, 1}, Schedule::map, kRandomPeriodic, 8},
      {{22, 5, 8, 2.0, 5.0, 1}, Schedule::relief, kAlternatingPeriodic, 9},
      {{3, 1, 8, 2.0, 5.0, 1}, Schedule::map, kRandomPeriodic, 10},
  };
  for (const OpenCase& c : cases) {
    const auto bed = scenarios::MakeOpenBed(c.params, c.schedule, c.seed, c.variant);
    ASSERT_NE(bed, nullptr);
    reference::AnyBed ref(c.params, reference::OpenShape(c.params, c.schedule == Schedule::map),
                          c.variant);
    ref.random.state = c.seed;
    for (int k = 0; k < 2; ++k) {
      model3d::RunBatch(*bed);
      ref.Batch();
    }
    EXPECT_EQ(bed->random.state, ref.random.state) << c.seed;
    EXPECT_TRUE(Cells(*bed) == ref.cells_) << "case of seed " << c.seed;
  }
}

// The variants on a program's own array, as a research run may ask for them.
TEST(OpenBed, VariantsOnTheMapArrayAgreeWithTheLiteralRules) {
  for (const CreepVariant& v : {kRandom, kAlternatingPeriodic}) {
    const auto bed = scenarios::MakeBed<MapSettings>({60, 20, 5, 2.0, 5.0, 1}, 12);
    bed->variant = v;
    reference::AnyBed ref({60, 20, 5, 2.0, 5.0, 1}, reference::ShapeOf<MapSettings>(), v);
    ref.random.state = 12;
    for (int k = 0; k < 2; ++k) {
      model3d::RunBatch(*bed);
      ref.Batch();
    }
    EXPECT_EQ(bed->random.state, ref.random.state);
    EXPECT_TRUE(Cells(*bed) == ref.cells_);
  }
}

// The same bed on a program's array and as an open bed: the same heights in the bed and in
// the row and column creep reaches beyond it, and the same total; what jumps further lies in
// one row of the open bed, over several of the program's.
template <class S>
void ExpectSameAsTheProgramsBed(const RippleParams& p, Schedule schedule, std::uint32_t seed) {
  const auto open = scenarios::MakeOpenBed(p, schedule, seed);
  const auto program = scenarios::MakeBed<S>(p, seed);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(model3d::RandomNumbersPerBatch(*open), model3d::RandomNumbersPerBatch(*program));
  for (int k = 0; k < 2; ++k) {
    model3d::RunBatch(*open);
    model3d::RunBatch(*program);
  }
  EXPECT_EQ(open->random.state, program->random.state);
  EXPECT_EQ(Total(*open), Total(*program));
  for (int i = -1; i <= p.layerLength + 1; ++i)
    for (int j = -1; j <= p.layerWidth + 1; ++j)
      ASSERT_EQ(open->grid.at(i, j), program->grid.at(i, j)) << i << "," << j;
}

TEST(OpenBed, RunsAsTheProgramsBedOfTheSameSize) {
  ExpectSameAsTheProgramsBed<MapSettings>(scenarios::kMapDefaults, Schedule::map, 31);
  // Jumps of 45 rows on a bed of 40: many land beyond the row creep reaches.
  ExpectSameAsTheProgramsBed<model3d::ReliefSettings>({40, 9, 20, 2.0, 5.0, 1}, Schedule::relief,
                                                      32);
}

// Long (1.4 billion numbers): run once, on the lanes build, not again on the scalar one. A
// sanitized build, some thirty times slower, runs the first cycle's sweeps of the same bed:
// every path of the kernels on an array larger than the caches, in seconds.
#if !defined(KAMMEL_SCALAR_TEST)
TEST(OpenBed, KeepsItsSandOnALargeBed) {
  const auto bed = scenarios::MakeOpenBed({4000, 2000, 5, 2.0, 5.0, 1}, Schedule::map, 3);
  ASSERT_NE(bed, nullptr);
#if defined(__SANITIZE_ADDRESS__)
  for (int n = 0; n < 3; ++n)
    model3d::SaltationSweep(*bed);
  for (int n = 0; n < 100; ++n)
    model3d::CreepSweep(*bed);
#else
  for (int k = 0; k < 10; ++k)
    model3d::RunBatch(*bed);
#endif
  EXPECT_EQ(Total(*bed), std::int64_t{4001} * 2001 * 5);
  int moved = 0;
  for (int j = 0; j <= 2000; ++j)
    moved += bed->grid.at(2000, j) != 5;
  EXPECT_GT(moved, 100) << "the bed hardly moved";
}
#endif

TEST(OpenBed, VariantsKeepTheirSandAndPeriodicOnesLoseNoneAcrossTheWind) {
  for (const CreepVariant& v : {kRandom, kAlternating, kPeriodic, kRandomPeriodic}) {
    const auto bed = scenarios::MakeOpenBed({120, 40, 6, 2.0, 5.0, 1}, Schedule::map, 4, v);
    for (int k = 0; k < 3; ++k)
      model3d::RunBatch(*bed);
    EXPECT_EQ(Total(*bed), 121 * 41 * 6);
    std::int64_t outside = 0;
    for (int i = -1; i <= bed->grid.lastRow; ++i)
      outside += bed->grid.at(i, -1) + bed->grid.at(i, 41);
    if (v.periodic)
      EXPECT_EQ(outside, 0);
    else
      EXPECT_GT(outside, 0) << "sand leaves by both sides";
  }
}

TEST(OpenBed, RefusesSizesOutOfRangeAndRunsNothingWithoutItsArray) {
  const std::pair<std::int32_t, std::int32_t> sizes[] = {
      {0, 10}, {10, 0}, {-5, 10}, {model3d::kMaxOpenLength + 1, 1}, {100000, 30000}};
  for (const auto& [L, W] : sizes) {
    model3d::BedState<OpenSettings> bed;
    bed.params = {L, W, 5, 2.0, 5.0, 1};
    EXPECT_FALSE(model3d::MakeOpenGrid(bed, Schedule::map)) << L << "x" << W;
    EXPECT_EQ(bed.grid.cells, nullptr);
    model3d::InitRippleGrid(bed);
    model3d::RunBatch(bed);
    EXPECT_EQ(model3d::HeightAt(bed, 0, 0), 0.0);
  }
}

// Where memory is short the array is refused, not touched half way. Under AddressSanitizer an
// address-space limit tells nothing about the model, so the case runs without it only.
#if !defined(__SANITIZE_ADDRESS__)
TEST(OpenBed, RefusesABedLargerThanTheMemoryItMayHave) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{std::uint64_t{256} << 20, std::uint64_t{256} << 20};
    setrlimit(RLIMIT_AS, &limit);
    model3d::BedState<OpenSettings> bed;
    bed.params = {16000, 8000, 5, 2.0, 5.0, 1};
    _exit(model3d::MakeOpenGrid(bed, Schedule::map) ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

// The column centroid of the bed's sand.
template <class S>
double Centroid(const model3d::BedState<S>& bed) {
  double sum = 0, moment = 0;
  for (int j = 0; j <= bed.params.layerWidth; ++j)
    for (int i = 0; i <= bed.params.layerLength; ++i) {
      sum += bed.grid.at(i, j);
      moment += static_cast<double>(j) * bed.grid.at(i, j);
    }
  return moment / sum;
}

// A bed and its mirror image across the wind run from the same seeds: without a preferred side
// the mean centroids mirror each other within the noise; the programs' rule drifts beyond it.
struct Mirrored {
  double meanGap;  // mean of centroid + mirrored centroid - W
  double error;    // its standard error
};

Mirrored MirroredCentroids(const CreepVariant& v) {
  constexpr int W = 15, L = 40, seeds = 24;
  std::vector<double> gaps;
  for (int seed = 1; seed <= seeds; ++seed) {
    double sum = 0;
    for (const bool mirror : {false, true}) {
      const auto bed = scenarios::MakeOpenBed({L, W, 0, 2.0, 5.0, 1}, Schedule::map, seed, v);
      for (int i = 0; i <= L; ++i)
        for (int j = 0; j <= W; ++j)
          bed->grid.at(i, mirror ? W - j : j) = 3 + j / 3 + (i % 7 == 0);
      for (int k = 0; k < 15; ++k)
        model3d::RunBatch(*bed);
      sum += Centroid(*bed);
    }
    gaps.push_back(sum - W);
  }
  const double mean = std::accumulate(gaps.begin(), gaps.end(), 0.0) / seeds;
  double squares = 0;
  for (double g : gaps)
    squares += (g - mean) * (g - mean);
  return {mean, std::sqrt(squares / (seeds - 1) / seeds)};
}

TEST(OpenBed, MirroredBedsGiveMirroredCentroidsWithoutAPreferredSide) {
  for (const CreepVariant& v : {kRandom, kAlternating, kPeriodic, kRandomPeriodic}) {
    const Mirrored m = MirroredCentroids(v);
    EXPECT_LT(std::abs(m.meanGap), 4 * m.error + 0.02)
        << static_cast<int>(v.ties) << v.periodic << ": " << m.meanGap << " +- " << m.error;
  }
  const Mirrored faithful = MirroredCentroids({});
  EXPECT_LT(faithful.meanGap, -4 * faithful.error) << "the programs' rule drifts to column 0";
}

}  // namespace

#include "common/Random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/RoundHalfEven.h"

namespace {

TEST(Random, StartsAtZeroAndRunsThroughKnownStates) {
  common::Random random;
  const std::uint32_t expected[] = {1u, 134775814u, 3698175007u, 870078620u, 1172187917u};
  for (const std::uint32_t state : expected)
    EXPECT_EQ(common::AdvanceRandom(random), state);
}

TEST(Random, UniformRandomIsTheNewStateOver2To32) {
  common::Random random{20261208};
  EXPECT_EQ(common::UniformRandom(random), 2048601785.0 / 4294967296.0);
  EXPECT_EQ(random.state, 2048601785u);
}

// The map's sparkle and the model read the same numbers: a coin of RandomBelow(2) is heads
// exactly when the UniformRandom of the same draw is at least a half.
TEST(Random, RandomBelowTwoAgreesWithUniformRandomOfTheSameDraw) {
  common::Random coin{7}, uniform{7};
  int heads = 0;
  for (int n = 0; n < 1000; ++n) {
    const std::int32_t bit = common::RandomBelow(coin, 2);
    EXPECT_EQ(bit, common::UniformRandom(uniform) >= 0.5 ? 1 : 0) << n;
    heads += bit;
  }
  EXPECT_EQ(coin.state, uniform.state);
  EXPECT_GT(heads, 400);
  EXPECT_LT(heads, 600);
}

TEST(Random, RandomBelowStaysInRangeAndStillAdvancesForBadN) {
  common::Random random{99};
  for (const std::int32_t n : {1, 3, 300, 2147483647}) {
    for (int k = 0; k < 200; ++k) {
      const std::int32_t value = common::RandomBelow(random, n);
      EXPECT_GE(value, 0);
      EXPECT_LT(value, n);
    }
  }
  for (const std::int32_t n : {0, -5}) {
    const std::uint32_t before = random.state;
    EXPECT_EQ(common::RandomBelow(random, n), 0);
    EXPECT_NE(random.state, before);
  }
}

TEST(Random, ClockSeedIsMillisecondsSinceMidnight) {
  EXPECT_EQ(common::ClockSeed(0, 0, 0, 0), 0u);
  EXPECT_EQ(common::ClockSeed(0, 0, 1, 5), 1005u);
  EXPECT_EQ(common::ClockSeed(13, 7, 42, 250), ((13u * 60 + 7) * 60 + 42) * 1000 + 250);
  EXPECT_EQ(common::ClockSeed(23, 59, 59, 999), 86399999u);
  common::Random random{0xffffffffu};
  common::SeedFromClock(random);
  EXPECT_LT(random.state, 86400000u);
}

TEST(Random, DrawStatesGivesTheSameStatesAsAdvancingOneByOne) {
  for (const std::int32_t count : {0, 1, 3, 4, 5, 8, 9, 15, 16, 17, 31, 32, 33, 1023, 1024}) {
    common::Random blocks{4242}, single{4242};
    std::vector<std::uint32_t> drawn(static_cast<std::size_t>(count) + 1, 0xdeadbeef);
    common::DrawStates(blocks, drawn.data(), count);
    for (std::int32_t k = 0; k < count; ++k)
      ASSERT_EQ(drawn[k], common::AdvanceRandom(single)) << k;
    EXPECT_EQ(blocks.state, single.state) << count;
    EXPECT_EQ(drawn[count], 0xdeadbeefu) << "wrote past the end";
  }
}

// The integer site pick must equal rounding U * m in extended precision, ties to even.
TEST(Random, SitePicksEqualRoundingUTimesM) {
  const std::int32_t ms[] = {0,   1,    2,     29, 299,  300,
                             999, 1000, 10000, -1, -300, common::kMaxDoublePick};
  std::uint32_t state = 1;
  for (int k = 0; k < 20000; ++k) {
    state = state * 134775813u + 1u;
    for (const std::int32_t m : ms) {
      const long double exact = static_cast<long double>(state) / 4294967296.0L * m;
      const auto rounded = static_cast<std::int32_t>(std::rint(exact));
      ASSERT_EQ(common::PickFromState(state, m), rounded) << state << " * " << m;
      ASSERT_EQ(common::PickInDoubles(state, m), rounded) << state << " * " << m;
    }
  }
}

TEST(Random, PickFromStateRoundsExactHalvesToEven) {
  struct Case {
    std::uint32_t state;
    std::int32_t m;
    std::int32_t pick;
  };
  const Case cases[] = {
      {1u << 29, 300, 38},   // 37.5 -> 38
      {1u << 28, 1000, 62},  // 62.5 -> 62
      {5u << 29, 100, 62},   // 62.5 -> 62
      {1u << 31, 1, 0},      // 0.5 -> 0
      {3u << 30, 2, 2},      // 1.5 -> 2
      {1u << 31, -1, 0},     // -0.5 -> 0
      {3u << 30, -2, -2},    // -1.5 -> -2
      {0xffffffffu, 300, 300},
  };
  for (const Case& c : cases)
    EXPECT_EQ(common::PickFromState(c.state, c.m), c.pick) << c.state;
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour) {
  const std::pair<long double, std::int32_t> cases[] = {
      {0.5L, 0},   {1.5L, 2},   {2.5L, 2},    {3.5L, 4},    {-0.5L, 0},
      {-1.5L, -2}, {-2.5L, -2}, {2.4999L, 2}, {2.5001L, 3}, {-7.0L, -7}};
  for (const auto& [value, rounded] : cases)
    EXPECT_EQ(common::RoundHalfEven(value), rounded);
}

TEST(RoundHalfEven, ClampedRoundTamesHugeAndNonFiniteValues) {
  constexpr std::int32_t limit = 1 << 30;
  EXPECT_EQ(common::ClampedRound(NAN, limit), 0);
  EXPECT_EQ(common::ClampedRound(INFINITY, limit), limit);
  EXPECT_EQ(common::ClampedRound(-INFINITY, limit), -limit);
  EXPECT_EQ(common::ClampedRound(1e300L, limit), limit);
  EXPECT_EQ(common::ClampedRound(-1e300L, limit), -limit);
  EXPECT_EQ(common::ClampedRound(104.5L, limit), 104);
}

}  // namespace

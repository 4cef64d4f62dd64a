// The integer emulation of the x87's extended format, held against exact values everywhere and,
// where long double is the x87 format, against the hardware for many random operands.
#include "common/EmulatedExtended.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

namespace {

using common::EmulatedExtended;
using E = EmulatedExtended;

E Of(long double v) {
  return E::FromLongDouble(v);
}

TEST(EmulatedExtended, RoundsEachOperationToNearestEven) {
  const struct {
    const char* what;
    E result;
    long double expected;
  } cases[] = {
      {"half a last bit: to even, down", E(1.0) + E(0x1p-64), 1.0L},
      {"half a last bit: to even, up", Of(1 + 0x1p-63L) + E(0x1p-64), 1 + 0x1p-62L},
      {"beyond half", E(1.0) + E(0x1p-64 + 0x1p-90), 1 + 0x1p-63L},
      {"far below: lost", E(1.0) + E(0x1p-200), 1.0L},
      {"far below, subtracted: lost too", E(1.0) - E(0x1p-200), 1.0L},
      {"just beyond half below 1", E(1.0) - E(0x1p-65 + 0x1p-110), 1 - 0x1p-64L},
      {"half below 1: to even 1", E(1.0) - E(0x1p-65), 1.0L},
      {"cancellation exact", E(1 + 0x1p-52) - E(1.0), 0x1p-52L},
      {"opposites: +0", E(2.5) - E(2.5), 0.0L},
      {"a product's tie to even", E(1 + 0x1p-32) * E(1 + 0x1p-32), 1 + 0x1p-31L},
      {"a product's tie up", E(1 + 0x1p-32) * E(1 + 0x1p-32 + 0x1p-52),
       1 + 0x1p-31L + 0x1p-52L + 0x1p-63L},
      {"int64 exact", E(std::int64_t{0x7fffffffffffffff}), 0x7fffffffffffffffL},
      {"negative int", E(-7) * E(0.5), -3.5L},
      {"a quotient of one bit", E(1.0) / E(4), 0.25L},
      {"the root of 4", Sqrt(E(4)), 2.0L},
      {"the root of 2.25", Sqrt(E(2.25)), 1.5L},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.result.ToLongDouble(), c.expected) << c.what;
  }
  EXPECT_TRUE(std::signbit((E(-0.0) + E(-0.0)).ToLongDouble()));
  EXPECT_FALSE(std::signbit((E(-0.0) + E(0.0)).ToLongDouble()));
}

TEST(EmulatedExtended, ConvertsAsTheX87Stores) {
  const struct {
    E value;
    double expected;
  } doubles[] = {
      {E(1.0) + E(0x1p-53), 1.0},  // a tie: to even
      {Of(1 + 0x1p-52L + 0x1p-53L), 1 + 0x1p-51},
      {Of(1 + 0x1p-53L + 0x1p-63L), 1 + 0x1p-52},
      {Of(-1 - 0x1p-53L - 0x1p-63L), -1 - 0x1p-52},
      {E(0x1p-1074), 0x1p-1074},  // the least subnormal, through the extended format
      {E(0x1p-1060) * E(0.75), 0.75 * 0x1p-1060},
      {E(0x1p-1074) * E(0.5), 0.0},  // half the least: to even, 0
      {E(0x1p1023) * E(2), INFINITY},
      {E(-0.0), -0.0},
  };
  for (const auto& c : doubles)
    EXPECT_EQ(static_cast<double>(c.value), c.expected);
  const struct {
    E value;
    std::int64_t expected;
  } integers[] = {{E(2.5), 2},     {E(3.5), 4},
                  {E(-2.5), -2},   {E(0.5), 0},
                  {E(0.75), 1},    {E(-1.5), -2},
                  {E(0.0), 0},     {E(2147483646.5), 2147483646},
                  {E(0x1p-80), 0}, {E(-0x1p40 - 0.5), -(std::int64_t{1} << 40)}};
  for (const auto& c : integers)
    EXPECT_EQ(c.value.RoundToInt64(), c.expected);
  EXPECT_TRUE(std::isnan(static_cast<double>(E(INFINITY) - E(INFINITY))));
  EXPECT_TRUE((E(0.0) / E(0.0)).IsNaN());
  EXPECT_TRUE((E(INFINITY) * E(0.0)).IsNaN());
  EXPECT_EQ(static_cast<double>(E(1.0) / E(0.0)), INFINITY);
  EXPECT_FALSE(E(NAN) == E(NAN));
  EXPECT_FALSE(E(NAN) < E(1.0));
  EXPECT_FALSE(E(NAN) > E(1.0));
  EXPECT_TRUE(E(-0.0) == E(0.0));
  EXPECT_TRUE(E(-1.0) < E(-0.5));
  EXPECT_TRUE(E(2147483647) > E(2147483646.5));
  EXPECT_EQ(ClampedRound(E(16) * E(0.53125), 16), 8);  // 8.5: to even
  EXPECT_EQ(ClampedRound(E(NAN), 16), 0);
  EXPECT_EQ(ClampedRound(E(-1e9), 16), -16);
}

// An operand with a full 64-bit significand, in the plot's ranges: a product of two doubles.
struct Operand {
  long double native;
  E emulated;
};

Operand Draw(std::mt19937_64& random) {
  std::uniform_real_distribution<double> unit(-1, 1);
  std::uniform_int_distribution<int> exponent(-40, 40);
  const double a = std::ldexp(unit(random), exponent(random));
  const double b = unit(random) + (random() % 4 == 0 ? 0x1p-60 : 0);
  return {static_cast<long double>(a) * b, E(a) * E(b)};
}

void ExpectSame(long double native, const E& emulated, const char* what, int i) {
  ASSERT_EQ(emulated.ToLongDouble(), native) << what << " #" << i;
  ASSERT_EQ(static_cast<double>(emulated), static_cast<double>(native)) << what << " #" << i;
}

TEST(EmulatedExtended, AgreesWithTheX87OnRandomOperands) {
  if (LDBL_MANT_DIG != 64) GTEST_SKIP() << "long double is not the x87 format here";
  std::mt19937_64 random(20261209);
  for (int i = 0; i < 200000; ++i) {
    const Operand x = Draw(random), y = Draw(random);
    ExpectSame(x.native, x.emulated, "product", i);
    ExpectSame(x.native + y.native, x.emulated + y.emulated, "sum", i);
    ExpectSame(x.native - y.native, x.emulated - y.emulated, "difference", i);
    // Far apart: the small one's bits beyond the big one's last, down to nothing.
    const double apart = std::ldexp(1.0, -50 - i % 100);
    ExpectSame(x.native + y.native * apart, x.emulated + y.emulated * E(apart), "far sum", i);
    ExpectSame(x.native - y.native * apart, x.emulated - y.emulated * E(apart), "far difference",
               i);
    // Near-cancellation: operands a few last bits apart.
    const long double close = x.native * (1 + 0x1p-60L);
    ExpectSame(x.native - close, x.emulated - Of(close), "close difference", i);
    ExpectSame(x.native * y.native, x.emulated * y.emulated, "product of products", i);
    if (y.native != 0) ExpectSame(x.native / y.native, x.emulated / y.emulated, "quotient", i);
    ExpectSame(std::sqrt(std::fabs(x.native)), Sqrt(Abs(x.emulated)), "root", i);
    ASSERT_EQ(x.emulated < y.emulated, x.native < y.native) << i;
    ASSERT_EQ(x.emulated == y.emulated, x.native == y.native) << i;
    const long double pixel = x.native * 0x1p20L;
    if (std::fabs(pixel) < 0x1p62L) {
      ASSERT_EQ(Of(pixel).RoundToInt64(), std::llrint(pixel)) << i;
      const long double half = std::floor(pixel) + 0.5L;  // an exact tie
      ASSERT_EQ(Of(half).RoundToInt64(), std::llrint(half)) << i;
    }
  }
}

}  // namespace

// The extended-precision steps give the x87's results wherever long double is wider: natively
// these hold by the hardware, in the WebAssembly build by the rounding to 64 bits.
#include "common/Extended.h"

#include <gtest/gtest.h>

#include "common/RoundHalfEven.h"

namespace {

TEST(ExtendedMulAdd, RoundsEachStepToA64BitSignificand) {
  const struct {
    long double a;
    double b, c;
    long double expected;
  } cases[] = {
      // A product of 83 bits: rounded up to the next 2^-33.
      {2147483647, 1 + 0x1p-52, 0.0, 2147483647.0L + 0x1p-21L},
      // A sum whose small part falls below the last bit: lost, as on the x87.
      {1, 0x1p-70, 2.5, 2.5L},
      {-1, 0x1p-70, -2.5, -2.5L},
      // Exactly half a last bit beyond: to the even neighbour.
      {1, 0x1p-64, 1.0, 1.0L},
      {1, 0x1p-64 * 3, 1.0, 1.0L + 0x1p-62L},
      // Half a last bit and a little more, the little more beyond binary128: rounded up.
      {1, 0x1p-64 + 0x1p-116, 1.0, 1.0L + 0x1p-63L},
      // Exact values stay.
      {20, 2.0, 5.0, 45.0L},
      {0, 2.0, 5.0, 5.0L},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(common::ExtendedMulAdd(c.a, c.b, c.c), c.expected)
        << static_cast<double>(c.a) << " * " << c.b << " + " << c.c;
  }
}

// The jump length's rounding: 2.5 plus a part the x87 loses rounds to 2, not 3.
TEST(ExtendedMulAdd, JumpLengthTiesAsOnTheX87) {
  EXPECT_EQ(common::RoundHalfEven(common::ExtendedMulAdd(1, 0x1p-70, 2.5)), 2);
  EXPECT_EQ(common::RoundHalfEven(common::ExtendedMulAdd(3, 0.5, 1.0)), 2);
}

}  // namespace

#include "common/Kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>

namespace {

// The lanes' third is a division in doubles in WebAssembly: it must be the quotient at the
// ends of the 32-bit range and around every multiple of 3 where a rounding fault would show.
TEST(Kernels, ThirdOfLanesIsTheQuotientOverTheWholeRange) {
  const std::uint32_t values[] = {0u,          1u,          2u,          3u,
                                  4u,          5u,          299u,        300u,
                                  301u,        0x7FFFFFFEu, 0x7FFFFFFFu, 0x80000000u,
                                  0xFFFFFFFDu, 0xFFFFFFFEu, 0xFFFFFFFFu, 0xAAAAAAABu};
  for (std::size_t at = 0; at < std::size(values); at += 4) {
    const common::UnsignedLanes x = {values[at], values[at + 1], values[at + 2], values[at + 3]};
    const common::UnsignedLanes third = common::ThirdOf(x);
    for (int l = 0; l < 4; ++l)
      EXPECT_EQ(third[l], x[l] / 3u) << x[l];
  }
}

// The creep kernels' short division: every value it is used for.
TEST(Kernels, SmallThirdOfIsTheQuotientBelowTwoToTheSixteen) {
  for (std::uint32_t x = 0; x < (1u << 16); x += 4) {
    const common::UnsignedLanes third =
        common::SmallThirdOf(common::UnsignedLanes{x, x + 1, x + 2, x + 3});
    for (std::uint32_t l = 0; l < 4; ++l)
      ASSERT_EQ(third[l], (x + l) / 3u) << x + l;
  }
}

TEST(Kernels, AnyLaneSeesEachLane) {
  EXPECT_FALSE(common::AnyLane(common::Lanes{}));
  for (int l = 0; l < 4; ++l) {
    common::Lanes mask{};
    mask[l] = -1;
    EXPECT_TRUE(common::AnyLane(mask)) << l;
  }
}

}  // namespace

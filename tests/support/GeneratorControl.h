// Steering a generator in tests: which state comes next, and which state gives a
// wanted site pick.
#pragma once

#include <cstdint>

#include "common/Random.h"

namespace testing_support {

/// Makes the next AdvanceRandom of random return next.
inline void SetNextState(common::Random& random, std::uint32_t next) {
  constexpr std::uint32_t inverse = 3645876429u;  // of 134775813 mod 2^32
  random.state = (next - 1u) * inverse;
}

/// A state whose site pick RoundHalfEven(U * m) is i, for 0 <= i <= m.
inline std::uint32_t StateForPick(std::int32_t i, std::int32_t m) {
  if (i == m) return 0xffffffffu;
  return static_cast<std::uint32_t>((std::uint64_t{static_cast<std::uint32_t>(i)} << 32) / m) + 1;
}

}  // namespace testing_support

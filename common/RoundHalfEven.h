// Every real-to-integer step of the models, the mappings and the plot rounds this way.
#pragma once

#include <cmath>
#include <cstdint>

namespace common {

/// Nearest integer, an exact half to the even one (the processor's default rounding).
/// The caller keeps the value inside the int32 range; see ClampedRound for untrusted values.
/// rint rather than nearbyint, which saves and restores the FPU environment on every call; the
/// detour through double (exact for any int32) spares the x87 a rounding-mode switch.
inline std::int32_t RoundHalfEven(long double value) {
  return static_cast<std::int32_t>(static_cast<double>(std::rint(value)));
}

/// RoundHalfEven for any value: clamped into [-limit, limit] first, NaN giving 0.
inline std::int32_t ClampedRound(long double value, std::int32_t limit) {
  if (std::isnan(value)) return 0;
  if (value > limit) return limit;
  if (value < -limit) return -limit;
  return RoundHalfEven(value);
}

}  // namespace common

// The random generator a program shares between its model and its drawing. A value: each model
// state holds its own, so several runs can live side by side.
#pragma once

#include <cfloat>
#include <cstdint>

namespace common {

static_assert(FLT_EVAL_METHOD == 0, "site picks in doubles need doubles without excess precision");

/// The generator: a 32-bit state, 0 until seeded.
struct Random {
  std::uint32_t state = 0;
};

/// The state that follows state: state * 134775813 + 1 (mod 2^32).
[[gnu::always_inline]] inline constexpr std::uint32_t NextState(std::uint32_t state) {
  return state * 134775813u + 1u;
}

/// Advances the state once and returns the new state.
inline std::uint32_t AdvanceRandom(Random& random) {
  random.state = NextState(random.state);
  return random.state;
}

/// Sets the state to the UTC time of day in milliseconds since midnight.
void SeedFromClock(Random& random);

/// The seed SeedFromClock would take for this time of day.
std::uint32_t ClockSeed(int hour, int minute, int second, int millisecond);

/// Advances, then yields state / 2^32: 0 <= U < 1, exact in a double.
inline double UniformRandom(Random& random) {
  return AdvanceRandom(random) * 0x1p-32;
}

/// Advances, then yields (state * n) div 2^32, in 0 .. n-1; for n = 2 the state's top bit.
/// n < 1 yields 0 (after advancing, so the draw count does not depend on n).
inline std::int32_t RandomBelow(Random& random, std::int32_t n) {
  const std::uint64_t product =
      std::uint64_t{AdvanceRandom(random)} * static_cast<std::uint32_t>(n);
  return n < 1 ? 0 : static_cast<std::int32_t>(product >> 32);
}

/// Advances the generator count times and writes each new state, in order: the same states
/// count calls of AdvanceRandom would give, made sixteen at a time without their serial latency.
void DrawStates(Random& random, std::uint32_t* states, std::int32_t count);

/// RoundHalfEven(state * m / 2^32) for m >= 0, exactly, in integers: adding just under a half,
/// or a whole half when the integer part is odd, and truncating rounds ties to even.
[[gnu::always_inline]] inline std::int32_t ScaleHalfEven(std::uint32_t state, std::uint32_t m) {
  const std::uint64_t product = std::uint64_t{state} * m;
  const std::uint64_t odd = (product >> 32) & 1u;
  return static_cast<std::int32_t>((product + 0x7fffffffu + odd) >> 32);
}

/// RoundHalfEven(U * m) for the U of this state: the same result as rounding state * m / 2^32
/// exactly, ties to even. Any m, negative included.
[[gnu::always_inline]] inline std::int32_t PickFromState(std::uint32_t state, std::int32_t m) {
  if (m >= 0) return ScaleHalfEven(state, static_cast<std::uint32_t>(m));
  // Rounding half to even is symmetric about 0.
  return -ScaleHalfEven(state, 0u - static_cast<std::uint32_t>(m));
}

/// Largest |m| PickInDoubles takes: U * m then fits a double's 53 bits exactly.
inline constexpr std::int32_t kMaxDoublePick = (1 << 21) - 1;

/// PickFromState for |m| <= kMaxDoublePick, in doubles, which loops over many states turn
/// into vector code: U * m is exact, and adding and taking away 1.5 * 2^52 rounds it to an
/// integer, ties to even, in the default rounding mode. Rounding half to even is symmetric,
/// so a negative m needs nothing else.
[[gnu::always_inline]] inline std::int32_t PickInDoubles(std::uint32_t state, double m) {
  // The state through a signed conversion, which SSE2 has, shifted back up by 2^31.
  const double u = static_cast<std::int32_t>(state ^ 0x80000000u) + 0x1p31;
#ifdef __EMSCRIPTEN__
  // WebAssembly checks the range of each conversion to an integer, one lane at a time. The
  // sum, 1.5 * 2^52 plus the pick, has a unit in the last place of 1: its low 32 bits are the
  // pick in two's complement. (No std::bit_cast in emscripten's libc++.)
  const double shifted = u * (m * 0x1p-32) + 0x1.8p52;
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(__builtin_bit_cast(std::uint64_t, shifted)));
#else
  return static_cast<std::int32_t>((u * (m * 0x1p-32) + 0x1.8p52) - 0x1.8p52);
#endif
}

/// Advances, then yields RoundHalfEven(U * m) for the new U.
inline std::int32_t RandomPick(Random& random, std::int32_t m) {
  return PickFromState(AdvanceRandom(random), m);
}

}  // namespace common

#include "common/Random.h"

#include <chrono>

#include "common/Kernels.h"

namespace common {

std::uint32_t ClockSeed(int hour, int minute, int second, int millisecond) {
  return static_cast<std::uint32_t>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
}

KAMMEL_KERNEL void DrawStates(Random& random, std::uint32_t* states, std::int32_t count) {
  // Sixteen interleaved runs: s[k + 16] = a^16 s[k] + c16, all mod 2^32. Kept in registers
  // rather than read back from states, so the compiler runs them side by side in vector lanes,
  // two vectors of them, so that one's multiply need not wait for the other's.
  constexpr std::uint32_t a = 134775813u;
  constexpr std::uint32_t a2 = a * a, a4 = a2 * a2, a8 = a4 * a4, a16 = a8 * a8;
  constexpr std::uint32_t c2 = a + 1u, c4 = c2 * a2 + c2, c8 = c4 * a4 + c4, c16 = c8 * a8 + c8;
  constexpr std::int32_t lanes = 16;
  // A local copy: stores into states could otherwise alias the generator's own state.
  std::uint32_t state = random.state;
  const std::int32_t serial = count < lanes ? count : lanes;
  for (std::int32_t k = 0; k < serial; ++k)
    states[k] = state = NextState(state);
  random.state = state;
  if (count <= lanes) return;
  std::uint32_t run[lanes];
  for (std::int32_t j = 0; j < lanes; ++j)
    run[j] = states[j];
  std::int32_t k = lanes;
  for (; k + lanes <= count; k += lanes) {
    for (std::int32_t j = 0; j < lanes; ++j) {
      run[j] = a16 * run[j] + c16;
      states[k + j] = run[j];
    }
  }
  for (; k < count; ++k)
    states[k] = a16 * states[k - lanes] + c16;
  random.state = states[count - 1];
}

void SeedFromClock(Random& random) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto sinceMidnight = now - floor<days>(now);
  const hh_mm_ss<milliseconds> time{duration_cast<milliseconds>(sinceMidnight)};
  random.state = ClockSeed(
      static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
      static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
}

}  // namespace common

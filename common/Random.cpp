#include "common/Random.h"

#include <chrono>

namespace common {

std::uint32_t ClockSeed(int hour, int minute, int second, int millisecond) {
  return static_cast<std::uint32_t>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
}

void DrawStates(std::uint32_t* states, std::int32_t count) {
  // Four steps at once: s[k + 4] = a^4 s[k] + (a^3 + a^2 + a + 1), all mod 2^32.
  constexpr std::uint32_t a = 134775813u;
  constexpr std::uint32_t a4 = a * a * a * a;
  constexpr std::uint32_t c4 = a * a * a + a * a + a + 1u;
  const std::int32_t serial = count < 4 ? count : 4;
  for (std::int32_t k = 0; k < serial; ++k)
    states[k] = AdvanceRandom();
  for (std::int32_t k = 4; k < count; ++k)
    states[k] = a4 * states[k - 4] + c4;
  if (count > 4) randomState = states[count - 1];
}

void SeedFromClock() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto sinceMidnight = now - floor<days>(now);
  const hh_mm_ss<milliseconds> time{duration_cast<milliseconds>(sinceMidnight)};
  SetRandomState(ClockSeed(
      static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
      static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count())));
}

}  // namespace common

// What the model benchmarks share: the counter in nanoseconds per random number, and the bare
// generator loop that no model can beat.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "common/Random.h"

namespace bench {

inline constexpr std::uint32_t kSeed = 20261208;

/// Reports "ns_per_number" for an iteration that draws numbersPerIteration random numbers.
inline void ReportPerNumber(benchmark::State& state, std::int64_t numbersPerIteration) {
  const double numbers = static_cast<double>(numbersPerIteration);
  state.counters["numbers"] = numbers;
  state.counters["ns_per_number"] =
      benchmark::Counter(numbers * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

/// Advances the generator state.range(0) times per iteration, and nothing else.
inline void BareGenerator(benchmark::State& state) {
  const std::int64_t count = state.range(0);
  common::Random random{kSeed};
  for (auto _ : state) {
    for (std::int64_t n = 0; n < count; ++n)
      common::AdvanceRandom(random);
    benchmark::DoNotOptimize(random.state);
  }
  ReportPerNumber(state, count);
}

}  // namespace bench

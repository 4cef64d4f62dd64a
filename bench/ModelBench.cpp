// The 3D model's batches in nanoseconds per random number, beside the bare generator loop that
// no model can beat. Compare the "ns_per_number" counters of one run.
#include <benchmark/benchmark.h>

#include "common/Random.h"
#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"

namespace {

constexpr std::uint32_t kSeed = 20261208;

void ReportPerNumber(benchmark::State& state, std::int64_t numbersPerIteration) {
  const double numbers = static_cast<double>(numbersPerIteration);
  state.counters["numbers"] = numbers;
  state.counters["ns_per_number"] =
      benchmark::Counter(numbers * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BareGenerator(benchmark::State& state) {
  const std::int64_t count = state.range(0);
  common::SetRandomState(kSeed);
  for (auto _ : state) {
    for (std::int64_t n = 0; n < count; ++n)
      common::AdvanceRandom();
    benchmark::DoNotOptimize(common::randomState);
  }
  ReportPerNumber(state, count);
}

template <class Settings>
void Batch(benchmark::State& state, const model3d::RippleParams& params) {
  scenarios::SetUpBed<Settings>(params, kSeed);
  const std::int64_t numbers = model3d::RandomNumbersPerBatch<Settings>();
  for (auto _ : state) {
    model3d::RunBatch<Settings>();
    benchmark::ClobberMemory();
  }
  ReportPerNumber(state, numbers);
}

void DefaultReliefBatch(benchmark::State& state) {
  Batch<model3d::ReliefSettings>(state, scenarios::kReliefDefaults);
}
void LargestMapBatch(benchmark::State& state) {
  Batch<model3d::MapSettings>(state, scenarios::kLargestMapBed);
}

std::int64_t NumbersPerBatch(const model3d::RippleParams& params, bool map) {
  if (map) {
    model3d::rippleParams<model3d::MapSettings> = params;
    return model3d::RandomNumbersPerBatch<model3d::MapSettings>();
  }
  model3d::rippleParams<model3d::ReliefSettings> = params;
  return model3d::RandomNumbersPerBatch<model3d::ReliefSettings>();
}

}  // namespace

BENCHMARK(DefaultReliefBatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BareGenerator)
    ->Name("BareGenerator/DefaultReliefBatch")
    ->Arg(NumbersPerBatch(scenarios::kReliefDefaults, false))
    ->Unit(benchmark::kMillisecond);
BENCHMARK(LargestMapBatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BareGenerator)
    ->Name("BareGenerator/LargestMapBatch")
    ->Arg(NumbersPerBatch(scenarios::kLargestMapBed, true))
    ->Unit(benchmark::kMillisecond);

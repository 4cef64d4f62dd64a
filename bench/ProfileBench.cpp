// The 2D model's steps in nanoseconds per random number, beside the bare generator loop that
// no model can beat. Compare the "ns_per_number" counters of one run.
#include <benchmark/benchmark.h>

#include "common/Random.h"
#include "kammel/ProfileModel.h"
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

void Step(benchmark::State& state, const model2d::ProfileParams& params) {
  scenarios::SetUpProfile(params, kSeed);
  const std::int64_t numbers = model2d::RandomNumbersPerStep();
  for (auto _ : state) {
    model2d::RunProfileStep();
    benchmark::ClobberMemory();
  }
  ReportPerNumber(state, numbers);
}

void DefaultProfileStep(benchmark::State& state) {
  Step(state, scenarios::kProfileDefaults);
}
void WidestProfileStep(benchmark::State& state) {
  Step(state, scenarios::kWidestProfile);
}

std::int64_t NumbersPerStep(const model2d::ProfileParams& params) {
  model2d::profileParams = params;
  return model2d::RandomNumbersPerStep();
}

}  // namespace

BENCHMARK(DefaultProfileStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareGenerator)
    ->Name("BareGenerator/DefaultProfileStep")
    ->Arg(NumbersPerStep(scenarios::kProfileDefaults))
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(WidestProfileStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareGenerator)
    ->Name("BareGenerator/WidestProfileStep")
    ->Arg(NumbersPerStep(scenarios::kWidestProfile))
    ->Unit(benchmark::kMicrosecond);

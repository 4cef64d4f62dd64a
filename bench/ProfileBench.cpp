// The 2D model's steps in nanoseconds per random number, beside the bare generator loop that
// no model can beat. Compare the "ns_per_number" counters of one run.
#include <benchmark/benchmark.h>

#include "bench/PerNumber.h"
#include "common/Random.h"
#include "model2d/ProfileModel.h"
#include "scenarios/Scenarios.h"

namespace {

using bench::kSeed;
using bench::ReportPerNumber;

void Step(benchmark::State& state, const model2d::ProfileParams& params) {
  const auto profile = scenarios::MakeProfile(params, kSeed);
  const std::int64_t numbers = model2d::RandomNumbersPerStep(*profile);
  for (auto _ : state) {
    model2d::RunProfileStep(*profile);
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

// A profile of a million cells, on the heap, to compare per number with the widest table.
void MillionCellProfileStep(benchmark::State& state) {
  model2d::ProfileState profile;
  profile.params = {1'000'000, 50, 2.0, 5.0, 1};
  if (!model2d::WidenProfile(profile)) {
    state.SkipWithError("no memory for the profile");
    return;
  }
  model2d::InitRippleProfile(profile);
  profile.random.state = kSeed;
  const std::int64_t numbers = model2d::RandomNumbersPerStep(profile);
  for (auto _ : state) {
    model2d::RunProfileStep(profile);
    benchmark::ClobberMemory();
  }
  ReportPerNumber(state, numbers);
}

std::int64_t NumbersPerStep(const model2d::ProfileParams& params) {
  return model2d::RandomNumbersPerStep(*scenarios::MakeProfile(params, 0));
}

}  // namespace

BENCHMARK(DefaultProfileStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(bench::BareGenerator)
    ->Name("BareGenerator/DefaultProfileStep")
    ->Arg(NumbersPerStep(scenarios::kProfileDefaults))
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(WidestProfileStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(bench::BareGenerator)
    ->Name("BareGenerator/WidestProfileStep")
    ->Arg(NumbersPerStep(scenarios::kWidestProfile))
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(MillionCellProfileStep)->Unit(benchmark::kMillisecond);

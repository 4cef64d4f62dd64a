// The 3D model's batches in nanoseconds per random number, beside the bare generator loop that
// no model can beat. Compare the "ns_per_number" counters of one run.
#include <benchmark/benchmark.h>

#include "bench/PerNumber.h"
#include "common/Random.h"
#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"

namespace {

using bench::kSeed;
using bench::ReportPerNumber;

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
BENCHMARK(bench::BareGenerator)
    ->Name("BareGenerator/DefaultReliefBatch")
    ->Arg(NumbersPerBatch(scenarios::kReliefDefaults, false))
    ->Unit(benchmark::kMillisecond);
BENCHMARK(LargestMapBatch)->Unit(benchmark::kMillisecond);
BENCHMARK(bench::BareGenerator)
    ->Name("BareGenerator/LargestMapBatch")
    ->Arg(NumbersPerBatch(scenarios::kLargestMapBed, true))
    ->Unit(benchmark::kMillisecond);

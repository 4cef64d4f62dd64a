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
  const auto bed = scenarios::MakeBed<Settings>(params, kSeed);
  const std::int64_t numbers = model3d::RandomNumbersPerBatch(*bed);
  for (auto _ : state) {
    model3d::RunBatch(*bed);
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
  if (map)
    return model3d::RandomNumbersPerBatch(*scenarios::MakeBed<model3d::MapSettings>(params, 0));
  return model3d::RandomNumbersPerBatch(*scenarios::MakeBed<model3d::ReliefSettings>(params, 0));
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

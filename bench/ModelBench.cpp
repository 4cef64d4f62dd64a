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

// A bed too large for one batch per iteration: one saltation sweep and a third of a cycle's
// creep sweeps, the same share of each as in a whole batch.
void BatchSlice(benchmark::State& state, model3d::BedState<model3d::OpenSettings>& bed) {
  const std::int32_t creepSweeps = bed.grid.creepSweepsPerWidth * bed.params.layerWidth / 3;
  const std::int64_t numbers = model3d::RandomNumbersPerBatch(bed) / (3 * bed.grid.cyclesPerBatch);
  for (auto _ : state) {
    model3d::SaltationSweep(bed);
    for (std::int32_t n = 0; n < creepSweeps; ++n)
      model3d::CreepSweep(bed);
    benchmark::ClobberMemory();
  }
  ReportPerNumber(state, numbers);
}

// The largest bed the issue asks for, 16,000 x 8,000 with the map's batches: 512 MB of heights.
void LargeOpenBedSlice(benchmark::State& state) {
  const auto bed =
      scenarios::MakeOpenBed({16000, 8000, 5, 2.0, 5.0, 1}, model3d::Schedule::map, kSeed);
  if (!bed) {
    state.SkipWithError("no memory for the bed");
    return;
  }
  BatchSlice(state, *bed);
}

// The largest map bed as an open bed, sliced the same way, to compare with the one above.
void LargestMapOpenBedSlice(benchmark::State& state) {
  const auto bed = scenarios::MakeOpenBed(scenarios::kLargestMapBed, model3d::Schedule::map, kSeed);
  BatchSlice(state, *bed);
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
BENCHMARK(LargestMapOpenBedSlice)->Unit(benchmark::kMillisecond);
BENCHMARK(LargeOpenBedSlice)->Unit(benchmark::kMillisecond)->Iterations(2);

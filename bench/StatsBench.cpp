// The statistics of one snapshot beside the model's own work between snapshots: a default
// map batch, and a default profile step. Compare the pairs in one run.
#include <benchmark/benchmark.h>

#include "analysis/RippleStatistics.h"
#include "model2d/ProfileModel.h"
#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"

namespace {

using Map = model3d::MapSettings;

analysis::Snapshot MapSnapshot() {
  const auto& grid = model3d::rippleGrid<Map>;
  const int L = model3d::BedLength<Map>(), W = model3d::BedWidth<Map>();
  analysis::Snapshot s{L + 1, W + 1, {}};
  for (int i = 0; i <= L; ++i) {
    for (int j = 0; j <= W; ++j)
      s.cells.push_back(grid.at(i, j));
  }
  return s;
}

analysis::Snapshot ProfileSnapshot() {
  analysis::Snapshot s{model2d::ProfileWidth() + 1, 1, {}};
  for (int i = 0; i < s.rows; ++i)
    s.cells.push_back(model2d::ProfileHeight(i));
  return s;
}

void MapBatch(benchmark::State& state) {
  scenarios::SetUpBed<Map>(scenarios::kMapDefaults, 20261208);
  for (auto _ : state)
    model3d::RunBatch<Map>();
}
BENCHMARK(MapBatch)->Unit(benchmark::kMicrosecond);

// A rippled default map bed, measured as --stats does: heights read out, then every measure,
// speed against the snapshot before.
void MapStatistics(benchmark::State& state) {
  scenarios::SetUpBed<Map>(scenarios::kMapDefaults, 20261208);
  for (int n = 0; n < 20; ++n)
    model3d::RunBatch<Map>();
  analysis::RippleStatistics statistics(analysis::Model::Bed);
  const auto jump = [](std::int32_t h) { return model3d::JumpLengthFor(h, 2.0, 5.0); };
  statistics.Measure(MapSnapshot(), 0, jump, 1, 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(statistics.Measure(MapSnapshot(), 0, jump, 1, 1));
}
BENCHMARK(MapStatistics)->Unit(benchmark::kMicrosecond);

void ProfileStep(benchmark::State& state) {
  scenarios::SetUpProfile(scenarios::kProfileDefaults, 20261208);
  for (auto _ : state)
    model2d::RunProfileStep();
}
BENCHMARK(ProfileStep)->Unit(benchmark::kMicrosecond);

void ProfileStatistics(benchmark::State& state) {
  scenarios::SetUpProfile(scenarios::kProfileDefaults, 20261208);
  for (int n = 0; n < 200; ++n)
    model2d::RunProfileStep();
  analysis::RippleStatistics statistics(analysis::Model::Profile);
  const auto jump = [](std::int32_t h) { return model2d::ProfileJumpLengthFor(h, 2.0, 5.0); };
  statistics.Measure(ProfileSnapshot(), 0, jump, 1, 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(statistics.Measure(ProfileSnapshot(), 0, jump, 1, 1));
}
BENCHMARK(ProfileStatistics)->Unit(benchmark::kMicrosecond);

}  // namespace

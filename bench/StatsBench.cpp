// The statistics of one snapshot beside the model's own work between snapshots: a default
// map batch, and a default profile step. Compare the pairs in one run.
#include <benchmark/benchmark.h>

#include "analysis/RippleStatistics.h"
#include "model2d/ProfileModel.h"
#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"

namespace {

using Map = model3d::MapSettings;

analysis::Snapshot MapSnapshot(const model3d::BedState<Map>& bed) {
  const auto& grid = bed.grid;
  const int L = model3d::BedLength(bed), W = model3d::BedWidth(bed);
  analysis::Snapshot s{L + 1, W + 1, {}};
  for (int i = 0; i <= L; ++i) {
    for (int j = 0; j <= W; ++j)
      s.cells.push_back(grid.at(i, j));
  }
  return s;
}

analysis::Snapshot ProfileSnapshot(const model2d::ProfileState& profile) {
  analysis::Snapshot s{model2d::ProfileWidth(profile) + 1, 1, {}};
  for (int i = 0; i < s.rows; ++i)
    s.cells.push_back(model2d::ProfileHeight(profile, i));
  return s;
}

void MapBatch(benchmark::State& state) {
  const auto bed = scenarios::MakeBed<Map>(scenarios::kMapDefaults, 20261208);
  for (auto _ : state)
    model3d::RunBatch(*bed);
}
BENCHMARK(MapBatch)->Unit(benchmark::kMicrosecond);

// A rippled default map bed, measured as --stats does: heights read out, then every measure,
// speed against the snapshot before.
void MapStatistics(benchmark::State& state) {
  const auto bed = scenarios::MakeBed<Map>(scenarios::kMapDefaults, 20261208);
  for (int n = 0; n < 20; ++n)
    model3d::RunBatch(*bed);
  analysis::RippleStatistics statistics(analysis::Model::Bed);
  const auto jump = [](std::int32_t h) { return model3d::JumpLengthFor(h, 2.0, 5.0); };
  statistics.Measure(MapSnapshot(*bed), 0, jump, 1, 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(statistics.Measure(MapSnapshot(*bed), 0, jump, 1, 1));
}
BENCHMARK(MapStatistics)->Unit(benchmark::kMicrosecond);

void ProfileStep(benchmark::State& state) {
  const auto profile = scenarios::MakeProfile(scenarios::kProfileDefaults, 20261208);
  for (auto _ : state)
    model2d::RunProfileStep(*profile);
}
BENCHMARK(ProfileStep)->Unit(benchmark::kMicrosecond);

void ProfileStatistics(benchmark::State& state) {
  const auto profile = scenarios::MakeProfile(scenarios::kProfileDefaults, 20261208);
  for (int n = 0; n < 200; ++n)
    model2d::RunProfileStep(*profile);
  analysis::RippleStatistics statistics(analysis::Model::Profile);
  const auto jump = [](std::int32_t h) { return model2d::ProfileJumpLengthFor(h, 2.0, 5.0); };
  statistics.Measure(ProfileSnapshot(*profile), 0, jump, 1, 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(statistics.Measure(ProfileSnapshot(*profile), 0, jump, 1, 1));
}
BENCHMARK(ProfileStatistics)->Unit(benchmark::kMicrosecond);

}  // namespace

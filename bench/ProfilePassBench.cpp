// The running kammel program's passes per second on Qt's offscreen platform: each pass polls
// for an event (and lets the screen catch up), runs one model step and redraws the profile.
#include <benchmark/benchmark.h>

#include "bench/OffscreenWindow.h"
#include "kammel/Profile.h"
#include "layer/Modul.h"
#include "model2d/ProfileModel.h"
#include "scenarios/Scenarios.h"

namespace {

void RunningPass(benchmark::State& state) {
  bench::OpenOffscreenWindow();
  const auto profile = scenarios::MakeProfile(scenarios::kProfileDefaults, 20261208);
  const double n = profile->params.layerWidth;
  // The mapping an Eingabe with the defaults sets.
  layer::SetViewport(50, layer::GetCanvasWidth() - 50, 50, layer::GetCanvasHeight() - 150);
  layer::SetWorldWindow(0.0, n, 0.0, n);
  layer::GraphicsWindow.PollEvents = true;
  for (auto _ : state) {
    benchmark::DoNotOptimize(layer::WaitEvent());
    model2d::RunProfileStep(*profile);
    kammel::RedrawProfile(*profile);
  }
  state.counters["passes_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(RunningPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);

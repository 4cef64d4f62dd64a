// One frame of kammelsim, as --frames writes it: the program's redraw on the headless canvas,
// the picture read back, and the PNG encoded and written, 800 x 600, for each view on the
// programs' default bed and profile.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "kammel/Profile.h"
#include "kammel3/Relief.h"
#include "kammel3map/Map.h"
#include "kammelsim/output/pictures/PngFile.h"
#include "layer/Window.h"
#include "scenarios/Scenarios.h"
#include "toolkit/Headless.h"

namespace {

std::string FramePath() {
  return "/tmp/kammel-bench-frame-" + std::to_string(getpid()) + ".png";
}

void OpenCanvas() {
  jheadless::SetCanvasSize(800, 600);
  layer::OpenProgramWindow();
}

template <class Redraw>
void WriteFrames(benchmark::State& state, Redraw redraw) {
  const std::string path = FramePath();
  jheadless::Picture picture;
  kammelsim::PngWriter png;
  kammelsim::io::Place place;  // as a run holds its frame folder: opened once
  if (!kammelsim::io::PlaceOf(path, place)) state.SkipWithError("no frame folder");
  for (auto _ : state) {
    redraw();
    jheadless::CanvasPicture(picture);
    std::string error;
    if (!png.Write(place, picture, {{"Software", "kammelsim"}}, false, error))
      state.SkipWithError(error.c_str());
  }
  unlink(path.c_str());
  layer::CloseProgramWindow();
}

void BM_ReliefFrame(benchmark::State& state) {
  OpenCanvas();
  const auto bed = std::make_unique<kammel3::Bed>();
  kammel3::SetUpRelief(*bed, scenarios::kReliefDefaults);
  bed->random.state = 20261208;
  model3d::RunBatch(*bed);
  WriteFrames(state, [&] { kammel3::RedrawRelief(*bed); });
}
BENCHMARK(BM_ReliefFrame)->Unit(benchmark::kMillisecond);

void BM_MapFrame(benchmark::State& state) {
  OpenCanvas();
  const auto bed = std::make_unique<kammel3map::Bed>();
  kammel3map::SetUpMap(*bed, scenarios::kMapDefaults);
  bed->random.state = 20261208;
  for (int n = 0; n < 5; ++n)
    model3d::RunBatch(*bed);
  common::Random sparkle{20261208};
  WriteFrames(state, [&] {
    kammel3map::RedrawMap(*bed, scenarios::kMapDefaults.layerHeight + 1, sparkle);
  });
}
BENCHMARK(BM_MapFrame)->Unit(benchmark::kMillisecond);

void BM_ProfileFrame(benchmark::State& state) {
  OpenCanvas();
  const auto profile = std::make_unique<kammel::Profile>();
  kammel::SetUpProfile(*profile, scenarios::kProfileDefaults);
  profile->random.state = 20261208;
  for (int n = 0; n < 100; ++n)
    model2d::RunProfileStep(*profile);
  WriteFrames(state, [&] { kammel::RedrawProfile(*profile); });
}
BENCHMARK(BM_ProfileFrame)->Unit(benchmark::kMillisecond);

}  // namespace

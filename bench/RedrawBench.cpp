// The map and profile redraws through our toolkit on Qt's offscreen platform, each beside a
// bare loop of the same primitives into an image like the canvas's. Compare ms per redraw of
// the pairs in one run.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <vector>

#include "bench/OffscreenWindow.h"
#include "kammel/Profile.h"
#include "kammel3map/Map.h"
#include "layer/Modul.h"
#include "layer/japiKern.h"
#include "scenarios/Scenarios.h"
#include "toolkit/ToolkitTesting.h"

namespace {

QImage CanvasLikeImage() {
  const QImage canvas = jqt::testing::CanvasBacking(layer::GraphicsWindow.Canvas);
  return QImage(canvas.size(), canvas.format());
}

void PrepareMap() {
  bench::OpenOffscreenWindow();
  kammel3map::SetUpMap(scenarios::kLargestMapBed, scenarios::kLargestMapBed.layerHeight + 1);
  common::SetRandomState(20261208);
  model3d::RunBatch<kammel3map::Bed>();
}

void MapRedraw(benchmark::State& state) {
  PrepareMap();
  for (auto _ : state) {
    kammel3map::RedrawMap(kammel3map::MapThreshold);
    jqt::testing::ProcessEvents();
  }
}
BENCHMARK(MapRedraw)->Unit(benchmark::kMillisecond);

// The same pixels: a cleared image, then one pixel per cell, its colour set each time.
void MapBareLoop(benchmark::State& state) {
  PrepareMap();
  QImage image = CanvasLikeImage();
  const auto& grid = model3d::rippleGrid<kammel3map::Bed>;
  const QRgb brown = qRgb(160, 120, 0), yellow = qRgb(252, 252, 72), white = qRgb(255, 255, 255);
  for (auto _ : state) {
    image.fill(Qt::black);
    for (int i = 0; i <= 1000; ++i) {
      const int x = layer::WorldToScreenX(i);
      for (int j = 0; j <= 500; ++j) {
        const bool bright = grid.at(i, j) >= kammel3map::MapThreshold;
        image.setPixel(x, layer::WorldToScreenY(j),
                       bright ? (common::RandomBelow(2) ? white : yellow) : brown);
      }
    }
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(MapBareLoop)->Unit(benchmark::kMillisecond);

void PrepareProfile() {
  bench::OpenOffscreenWindow();
  kammel::SetUpProfile(scenarios::kWidestProfile);
  common::SetRandomState(20261208);
  for (int n = 0; n < 20; ++n)
    model2d::RunProfileStep();
}

void ProfileRedraw(benchmark::State& state) {
  PrepareProfile();
  for (auto _ : state) {
    kammel::RedrawProfile();
    jqt::testing::ProcessEvents();
  }
}
BENCHMARK(ProfileRedraw)->Unit(benchmark::kMillisecond);

// The same lines through a bare QPainter with a cosmetic pen.
void ProfileBareLoop(benchmark::State& state) {
  PrepareProfile();
  QImage image = CanvasLikeImage();
  std::vector<QLine> lines;
  for (int i = 0; i < model2d::ProfileWidth(); ++i) {
    lines.emplace_back(layer::WorldToScreenX(i), layer::WorldToScreenY(model2d::ProfileHeight(i)),
                       layer::WorldToScreenX(i + 1),
                       layer::WorldToScreenY(model2d::ProfileHeight(i + 1)));
  }
  const QPen red(QColor(252, 40, 40), 0);
  for (auto _ : state) {
    QPainter painter(&image);
    painter.fillRect(image.rect(), Qt::black);
    painter.setPen(red);
    for (const QLine& line : lines)
      painter.drawLine(line);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(ProfileBareLoop)->Unit(benchmark::kMillisecond);

}  // namespace

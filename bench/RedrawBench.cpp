// The map and profile redraws through our toolkit on Qt's offscreen platform, each beside a
// bare loop of the same primitives into an image like the canvas's. Compare ms per redraw of
// the pairs in one run.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <memory>
#include <vector>

#include "bench/OffscreenWindow.h"
#include "kammel/Profile.h"
#include "kammel3map/Map.h"
#include "layer/Modul.h"
#include "layer/japiKern.h"
#include "scenarios/Scenarios.h"
#include "toolkit/qt/ToolkitTesting.h"

namespace {

QImage CanvasLikeImage() {
  const QImage canvas = jqt::testing::CanvasBacking(layer::GraphicsWindow.Canvas);
  return QImage(canvas.size(), canvas.format());
}

constexpr std::int32_t kThreshold = scenarios::kLargestMapBed.layerHeight + 1;

std::unique_ptr<kammel3map::Bed> PrepareMap() {
  bench::OpenOffscreenWindow();
  auto bed = std::make_unique<kammel3map::Bed>();
  kammel3map::SetUpMap(*bed, scenarios::kLargestMapBed);
  bed->random.state = 20261208;
  model3d::RunBatch(*bed);
  return bed;
}

void MapRedraw(benchmark::State& state) {
  const auto bed = PrepareMap();
  for (auto _ : state) {
    kammel3map::RedrawMap(*bed, kThreshold, bed->random);
    jqt::testing::ProcessEvents();
  }
}
BENCHMARK(MapRedraw)->Unit(benchmark::kMillisecond);

// The same pixels: a cleared image, then one pixel per cell, its colour set each time.
void MapBareLoop(benchmark::State& state) {
  const auto bed = PrepareMap();
  QImage image = CanvasLikeImage();
  const auto& grid = bed->grid;
  const QRgb brown = qRgb(160, 120, 0), yellow = qRgb(252, 252, 72), white = qRgb(255, 255, 255);
  for (auto _ : state) {
    image.fill(Qt::black);
    for (int i = 0; i <= 1000; ++i) {
      const int x = layer::WorldToScreenX(i);
      for (int j = 0; j <= 500; ++j) {
        const bool bright = grid.at(i, j) >= kThreshold;
        image.setPixel(x, layer::WorldToScreenY(j),
                       bright ? (common::RandomBelow(bed->random, 2) ? white : yellow) : brown);
      }
    }
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(MapBareLoop)->Unit(benchmark::kMillisecond);

std::unique_ptr<kammel::Profile> PrepareProfile() {
  bench::OpenOffscreenWindow();
  auto profile = std::make_unique<kammel::Profile>();
  kammel::SetUpProfile(*profile, scenarios::kWidestProfile);
  profile->random.state = 20261208;
  for (int n = 0; n < 20; ++n)
    model2d::RunProfileStep(*profile);
  return profile;
}

void ProfileRedraw(benchmark::State& state) {
  const auto profile = PrepareProfile();
  for (auto _ : state) {
    kammel::RedrawProfile(*profile);
    jqt::testing::ProcessEvents();
  }
}
BENCHMARK(ProfileRedraw)->Unit(benchmark::kMillisecond);

// The same lines through a bare QPainter with a cosmetic pen.
void ProfileBareLoop(benchmark::State& state) {
  const auto profile = PrepareProfile();
  QImage image = CanvasLikeImage();
  std::vector<QLine> lines;
  for (int i = 0; i < model2d::ProfileWidth(*profile); ++i) {
    lines.emplace_back(layer::WorldToScreenX(i),
                       layer::WorldToScreenY(model2d::ProfileHeight(*profile, i)),
                       layer::WorldToScreenX(i + 1),
                       layer::WorldToScreenY(model2d::ProfileHeight(*profile, i + 1)));
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

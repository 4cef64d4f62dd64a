// kammel3's RedrawRelief through the real toolkit on Qt's offscreen platform, beside a bare
// QPainter loop that fills and outlines the same triangles in an image like the canvas's: the
// cost of the drawing itself. Compare ms per redraw of the pairs in one run; the redraw with
// the screen update after it is what a user waits for.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <array>
#include <memory>
#include <vector>

#include "bench/OffscreenWindow.h"
#include "common/Random.h"
#include "kammel3/Relief.h"
#include "layer/Surface3D.h"
#include "layer/japiKern.h"
#include "scenarios/Scenarios.h"
#include "toolkit/qt/ToolkitTesting.h"

namespace {

using Bed = kammel3::Bed;
using Triangle = std::array<QPoint, 3>;

constexpr model3d::RippleParams kLargestRelief{999, 499, 20, 2.0, 5.0, 1};

// A bed one batch old, so the relief is rippled as a user sees it.
std::unique_ptr<Bed> PrepareBed(const model3d::RippleParams& params) {
  auto bed = scenarios::MakeBed<kammel3::Settings>(params, 20261208);
  model3d::RunBatch(*bed);
  return bed;
}

// The triangles the plot draws, in its order: per cell T2 (old i, old i + 1, new i) and then
// T1 (new i + 1, old i + 1, new i), rows from the back.
std::vector<Triangle> ReliefTriangles(const Bed& bed) {
  const model3d::RippleParams& p = bed.params;
  layer::SetScreenBox(400, 400, 400, 400, 150);
  layer::SetView3D(0, p.layerLength, 0, p.layerWidth, 0, p.layerLength + p.layerHeight, 25, -30);
  const auto point = [&bed](int x, int y) {
    std::int32_t px = 0, py = 0;
    layer::Project3D(x, y, model3d::HeightAt(bed, x, y), px, py);
    return QPoint(px, py);
  };
  std::vector<Triangle> triangles;
  for (int y = p.layerWidth; y > 0; --y) {
    for (int x = 0; x < p.layerLength; ++x) {
      triangles.push_back({point(x, y), point(x + 1, y), point(x, y - 1)});
      triangles.push_back({point(x + 1, y - 1), point(x + 1, y), point(x, y - 1)});
    }
  }
  return triangles;
}

// The redraw into the canvas, as the bare loop draws into its image.
void RedrawRelief(benchmark::State& state, const model3d::RippleParams& params) {
  bench::OpenOffscreenWindow();
  const auto bed = PrepareBed(params);
  for (auto _ : state)
    kammel3::RedrawRelief(*bed);
  jqt::testing::ProcessEvents();
  state.counters["triangles"] = 2.0 * params.layerLength * params.layerWidth;
}

// And with the screen catching up after it, as between a program's events: what a user waits
// for.
void RedrawReliefOnScreen(benchmark::State& state, const model3d::RippleParams& params) {
  bench::OpenOffscreenWindow();
  const auto bed = PrepareBed(params);
  for (auto _ : state) {
    kammel3::RedrawRelief(*bed);
    jqt::testing::ProcessEvents();
  }
  state.counters["triangles"] = 2.0 * params.layerLength * params.layerWidth;
}

void BareQPainter(benchmark::State& state, const model3d::RippleParams& params) {
  bench::OpenOffscreenWindow();
  const std::vector<Triangle> triangles = ReliefTriangles(*PrepareBed(params));
  const QImage canvas = jqt::testing::CanvasBacking(layer::GraphicsWindow.Canvas);
  QImage image(canvas.size(), canvas.format());
  const QBrush white(Qt::white);
  const QPen black(Qt::black, 0);
  for (auto _ : state) {
    QPainter painter(&image);
    painter.fillRect(image.rect(), Qt::black);
    for (const Triangle& t : triangles) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(white);
      painter.drawPolygon(t.data(), 3, Qt::OddEvenFill);
      painter.setPen(black);
      painter.setBrush(Qt::NoBrush);
      painter.drawPolygon(t.data(), 3);
    }
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["triangles"] = static_cast<double>(triangles.size());
}

}  // namespace

BENCHMARK_CAPTURE(RedrawRelief, DefaultBed, scenarios::kReliefDefaults)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RedrawReliefOnScreen, DefaultBed, scenarios::kReliefDefaults)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BareQPainter, DefaultBed, scenarios::kReliefDefaults)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RedrawRelief, LargestBed, kLargestRelief)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RedrawReliefOnScreen, LargestBed, kLargestRelief)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BareQPainter, LargestBed, kLargestRelief)->Unit(benchmark::kMillisecond);

// The same work natively and in WebAssembly (under Node), for the web build's speed figures:
// a batch of the largest map bed and the relief's redraw of the largest bed into the canvas,
// each the median of several rounds in milliseconds. scripts/web-bench runs both builds and
// gives the ratios; the hashes show the two builds computed the same beds.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <type_traits>
#include <vector>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#else
#include <ctime>
#endif

#include "kammel3/Relief.h"
#include "layer/Window.h"
#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"
#include "toolkit/Headless.h"

namespace {

// The process's CPU time in milliseconds: on a shared machine it moves far less with the load
// than the wall clock does. Under Node it counts the engine's compiler threads too.
#ifdef __EMSCRIPTEN__
EM_JS(double, CpuMilliseconds, (), {
  const used = process.cpuUsage();
  return (used.user + used.system) / 1000;
});
#else
double CpuMilliseconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}
#endif

// Each round a call of its own, through a pointer the optimisers cannot see through: a
// WebAssembly engine optimises a function for its later calls only, and work inlined into a
// main that runs once (Binaryen inlines a function called from one place) would be timed
// unoptimised.
template <class F>
void Round(void* work) {
  (*static_cast<F*>(work))();
}

struct Medians {
  double wall, cpu;
};

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

template <class F>
Medians MedianMilliseconds(int rounds, F&& work) {
  std::vector<double> wall, cpu;
  for (int r = 0; r < rounds; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuMilliseconds();
    void (*volatile round)(void*) = &Round<std::remove_reference_t<F>>;
    round(&work);
    cpu.push_back(CpuMilliseconds() - cpuStart);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    wall.push_back(took.count());
  }
  return {Median(wall), Median(cpu)};
}

template <class Bed>
std::uint64_t Hash(const Bed& bed) {
  std::uint64_t hash = 1469598103934665603u;
  for (std::int32_t i = 0; i <= bed.params.layerLength; ++i)
    for (std::int32_t j = 0; j <= bed.params.layerWidth; ++j)
      hash = (hash ^ static_cast<std::uint32_t>(bed.grid.at(i, j))) * 1099511628211u;
  return hash;
}

}  // namespace

int main() {
  const auto map = scenarios::MakeBed<model3d::MapSettings>(scenarios::kLargestMapBed, 20261208);
  const Medians batch = MedianMilliseconds(7, [&] { model3d::RunBatch(*map); });
  std::printf("map_batch_ms %.3f hash %llu cpu_ms %.3f\n", batch.wall,
              static_cast<unsigned long long>(Hash(*map)), batch.cpu);

  jheadless::SetCanvasSize(800, 600);
  layer::OpenProgramWindow();
  const model3d::RippleParams largest{999, 499, 20, 2.0, 5.0, 1};
  const auto relief = scenarios::MakeBed<kammel3::Settings>(largest, 20261208);
  model3d::RunBatch(*relief);
  const Medians redraw = MedianMilliseconds(7, [&] { kammel3::RedrawRelief(*relief); });
  jheadless::Picture picture;
  jheadless::CanvasPicture(picture);
  std::uint64_t pixels = 1469598103934665603u;
  for (const std::uint32_t p : picture.rgb)
    pixels = (pixels ^ p) * 1099511628211u;
  std::printf("relief_redraw_ms %.3f hash %llu cpu_ms %.3f\n", redraw.wall,
              static_cast<unsigned long long>(pixels), redraw.cpu);
  layer::CloseProgramWindow();
  return 0;
}

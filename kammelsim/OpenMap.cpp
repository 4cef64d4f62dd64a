#include "kammelsim/OpenMap.h"

#include <algorithm>
#include <vector>

#include "layer/Mapping.h"
#include "layer/Palette.h"

namespace kammelsim {
namespace {

// The cells 0..last whose screen position (a monotone mapping) no later cell takes: the ones
// the map's drawing, cell after cell, leaves visible. At most one per pixel.
template <class ToScreen>
std::vector<std::int32_t> Shown(std::int32_t last, ToScreen toScreen) {
  std::vector<std::int32_t> shown;
  std::int32_t at = toScreen(0);
  for (std::int32_t n = 0; n < last; ++n) {
    const std::int32_t next = toScreen(n + 1);
    if (next != at) shown.push_back(n);
    at = next;
  }
  shown.push_back(last);
  return shown;
}

}  // namespace

void RedrawOpenMap(const model3d::BedState<model3d::OpenSettings>& bed, std::int32_t threshold,
                   common::Random& sparkle) {
  layer::ClearCanvas(layer::Black);
  const std::int32_t lastRow = std::max(model3d::BedLength(bed), 0);
  const std::int32_t lastColumn = std::max(model3d::BedWidth(bed), 0);
  const auto rows = Shown(lastRow, [](std::int32_t i) { return layer::WorldToScreenX(i); });
  const auto columns = Shown(lastColumn, [](std::int32_t j) { return layer::WorldToScreenY(j); });
  for (const std::int32_t i : rows) {
    const std::int32_t x = layer::WorldToScreenX(i);
    for (const std::int32_t j : columns) {
      const std::int32_t colour = bed.grid.at(i, j) < threshold
                                      ? layer::Brown
                                      : layer::Yellow + common::RandomBelow(sparkle, 2);
      layer::DrawPixel(x, layer::WorldToScreenY(j), colour);
    }
  }
}

}  // namespace kammelsim

#include "kammel3map/Map.h"

#include <algorithm>
#include <string>

#include "common/Random.h"
#include "layer/Modul.h"
#include "layer/japiKern.h"
#include "program3d/BedEntry.h"
#include "scenarios/Scenarios.h"

namespace kammel3map {

std::int32_t MapThreshold = 0;

void EnterMapParameters() {
  const model3d::RippleParams params =
      program3d::EnterBed(scenarios::kMapDefaults, Bed::maxLength, Bed::maxWidth);
  std::int32_t threshold = params.layerHeight + 1;
  std::string preset = layer::FormatReal(threshold, 2.0);
  layer::ReadInteger(" Grenze : ", preset, threshold);
  SetUpMap(params, threshold);
  RedrawMap(MapThreshold);
}

void SetUpMap(const model3d::RippleParams& params, std::int32_t threshold) {
  model3d::rippleParams<Bed> = params;
  MapThreshold = threshold;
  layer::SetViewport(50, layer::GetCanvasWidth() - 50, 50, layer::GetCanvasHeight() - 50);
  layer::SetWorldWindow(0.0, params.layerLength, 0.0, params.layerWidth);
  model3d::InitRippleGrid<Bed>();
}

void RedrawMap(std::int32_t threshold) {
  const auto& grid = model3d::rippleGrid<Bed>;
  layer::ClearCanvas(layer::Black);
  // At least cell [0, 0], as before the first entry; never beyond the array.
  const std::int32_t lastRow = std::max(model3d::BedLength<Bed>(), 0);
  const std::int32_t lastColumn = std::max(model3d::BedWidth<Bed>(), 0);
  for (std::int32_t i = 0; i <= lastRow; ++i) {
    const std::int32_t x = layer::WorldToScreenX(i);
    for (std::int32_t j = 0; j <= lastColumn; ++j) {
      const std::int32_t colour =
          grid.at(i, j) < threshold ? layer::Brown : layer::Yellow + common::RandomBelow(2);
      layer::DrawPixel(x, layer::WorldToScreenY(j), colour);
    }
  }
}

void RunMapBatch() {
  model3d::RunBatch<Bed>();
  RedrawMap(MapThreshold);
}

}  // namespace kammel3map

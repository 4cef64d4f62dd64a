#include "kammel3map/Map.h"

#include <algorithm>
#include <string>

#include "layer/Modul.h"
#include "layer/japiKern.h"
#include "program3d/BedEntry.h"
#include "scenarios/Scenarios.h"

namespace kammel3map {

void EnterMapParameters(Bed& bed, std::int32_t& threshold) {
  const model3d::RippleParams params =
      program3d::EnterBed(scenarios::kMapDefaults, Settings::maxLength, Settings::maxWidth);
  std::int32_t entered = params.layerHeight + 1;
  std::string preset = layer::FormatReal(entered, 2.0);
  layer::ReadInteger(" Grenze : ", preset, entered);
  threshold = entered;
  SetUpMap(bed, params);
  RedrawMap(bed, threshold, bed.random);
}

void SetUpMap(Bed& bed, const model3d::RippleParams& params) {
  bed.params = params;
  PlaceMap(params);
  model3d::InitRippleGrid(bed);
}

void PlaceMap(const model3d::RippleParams& params) {
  layer::SetViewport(50, layer::GetCanvasWidth() - 50, 50, layer::GetCanvasHeight() - 50);
  layer::SetWorldWindow(0.0, params.layerLength, 0.0, params.layerWidth);
}

void RedrawMap(const Bed& bed, std::int32_t threshold, common::Random& sparkle) {
  layer::ClearCanvas(layer::Black);
  // At least cell [0, 0], as before the first entry; never beyond the array.
  const std::int32_t lastRow = std::max(model3d::BedLength(bed), 0);
  const std::int32_t lastColumn = std::max(model3d::BedWidth(bed), 0);
  for (std::int32_t i = 0; i <= lastRow; ++i) {
    const std::int32_t x = layer::WorldToScreenX(i);
    for (std::int32_t j = 0; j <= lastColumn; ++j) {
      const std::int32_t colour = bed.grid.at(i, j) < threshold
                                      ? layer::Brown
                                      : layer::Yellow + common::RandomBelow(sparkle, 2);
      layer::DrawPixel(x, layer::WorldToScreenY(j), colour);
    }
  }
}

void RunMapBatch(Bed& bed, std::int32_t threshold) {
  model3d::RunBatch(bed);
  RedrawMap(bed, threshold, bed.random);
}

}  // namespace kammel3map

// kammel3map: the 3D bed seen from above, one pixel per cell.
#pragma once

#include <cstdint>

#include "model3d/RippleModel.h"

namespace kammel3map {

using Bed = model3d::MapSettings;

/// Cells at or above this height are drawn bright; 0 before the first entry.
extern std::int32_t MapThreshold;

/// The seven dialogs (the bed, then the threshold), the mapping, a new bed and its map.
void EnterMapParameters();

/// What an entry does after its dialogs, but for the drawing: the parameters, the threshold,
/// the mapping for the canvas's current size, and a new bed.
void SetUpMap(const model3d::RippleParams& params, std::int32_t threshold);

/// Clears the canvas and draws every cell of the bed: Brown below threshold, otherwise Yellow
/// or White at random (one RandomBelow(2) per bright cell, in drawing order).
void RedrawMap(std::int32_t threshold);

/// One Start: a batch of the model and a redraw.
void RunMapBatch();

}  // namespace kammel3map

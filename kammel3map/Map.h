// kammel3map: the 3D bed seen from above, one pixel per cell.
#pragma once

#include <cstdint>

#include "common/Random.h"
#include "model3d/RippleModel.h"

namespace kammel3map {

using Settings = model3d::MapSettings;
using Bed = model3d::BedState<Settings>;

/// The seven dialogs (the bed, then the threshold), the mapping, a new bed and its map; the
/// threshold entered goes to threshold.
void EnterMapParameters(Bed& bed, std::int32_t& threshold);

/// What an entry does after its dialogs, but for the drawing: the parameters, the mapping for
/// the canvas's current size, and a new bed.
void SetUpMap(Bed& bed, const model3d::RippleParams& params);

/// The mapping an entry sets for these parameters on the canvas's current size.
void PlaceMap(const model3d::RippleParams& params);

/// Clears the canvas and draws every cell of the bed: Brown below threshold, otherwise Yellow
/// or White at random (one RandomBelow(2) of sparkle per bright cell, in drawing order). The
/// program passes the bed's own generator, so the map draws from the model's numbers.
void RedrawMap(const Bed& bed, std::int32_t threshold, common::Random& sparkle);

/// One Start: a batch of the model and a redraw.
void RunMapBatch(Bed& bed, std::int32_t threshold);

}  // namespace kammel3map

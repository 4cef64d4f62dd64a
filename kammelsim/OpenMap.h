// An open bed drawn as kammel3map draws its bed, seen from above on the map's mapping, scaled to
// the canvas: a bed with more cells than the canvas has pixels shows, in each pixel, the cell the
// map's own drawing would leave there, and only those cells are drawn.
#pragma once

#include <cstdint>

#include "common/Random.h"
#include "model3d/RippleModel.h"

namespace kammelsim {

/// Clears the canvas and draws the shown cells: Brown below threshold, otherwise Yellow or White
/// at random (one RandomBelow(2) of sparkle per bright cell drawn, in the map's order). A bed
/// whose every cell has a pixel of its own is drawn exactly as the map draws it.
void RedrawOpenMap(const model3d::BedState<model3d::OpenSettings>& bed, std::int32_t threshold,
                   common::Random& sparkle);

}  // namespace kammelsim

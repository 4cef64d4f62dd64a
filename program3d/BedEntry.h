// The parameter dialogs both 3D programs ask before they build a bed.
#pragma once

#include <cstdint>
#include "model3d/RippleModel.h"

namespace program3d {

/// The six dialogs for length, width, height, b, wind and q, preset from defaults. Length and
/// width are asked again while outside 1..maxLength and 1..maxWidth, height and q while outside
/// 0..model3d::kMaxGrains.
model3d::RippleParams EnterBed(const model3d::RippleParams& defaults, std::int32_t maxLength,
                               std::int32_t maxWidth);

}  // namespace program3d

// The parameter dialogs both 3D programs ask before they build a bed.
#pragma once

#include <cstdint>
#include "model3d/RippleModel.h"

namespace kammel3 {

/// The largest height and q the dialogs accept: every sum of the largest bed stays in 32 bits.
inline constexpr std::int32_t kMaxGrains = 1000;

/// The six dialogs for length, width, height, b, wind and q, preset from defaults. Length and
/// width are asked again while outside 1..maxLength and 1..maxWidth, height and q while outside
/// 0..kMaxGrains.
model3d::RippleParams EnterBed(const model3d::RippleParams& defaults, std::int32_t maxLength,
                               std::int32_t maxWidth);

}  // namespace kammel3

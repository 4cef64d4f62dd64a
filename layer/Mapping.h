// The linear map from a world window onto a viewport of the canvas, world y upwards.
#pragma once

#include <cstdint>

namespace layer {

/// What a position whose pixel lies outside the 32-bit range maps to, on either side.
inline constexpr std::int32_t ScreenClampValue = 2147483647;

/// Left, right, top and bottom canvas pixel of the viewport. Keeps the scale as it was.
void SetViewport(std::int32_t sx1, std::int32_t sx2, std::int32_t sy1, std::int32_t sy2);
/// Left, right, bottom and top world coordinate; computes the scale from the current viewport.
/// A zero extent on an axis gives that axis a scale of 0: every position maps to its first
/// viewport pixel.
void SetWorldWindow(double wx1, double wx2, double wy1, double wy2);
std::int32_t WorldToScreenX(double x);
std::int32_t WorldToScreenY(double y);

}  // namespace layer

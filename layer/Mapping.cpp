#include "layer/Mapping.h"

#include <cmath>

#include "common/Extended.h"
#include "common/RoundHalfEven.h"

namespace layer {
namespace {

using common::Extended;

struct MappingState {
  std::int32_t sx1, sx2, sy1, sy2;
  double wx1, wx2, wy1, wy2;
  double kx, ky;
};

MappingState mapping{};  // all zero: every position maps to pixel 0 until set up

// Pixels per world unit; 0 for a zero extent, so the axis collapses onto its first pixel.
double Scale(std::int32_t from, std::int32_t to, double low, double high) {
  const Extended extent = Extended(high) - low;
  if (extent == 0) return 0.0;
  const auto pixels = static_cast<std::int64_t>(to) - from;  // may not fit 32 bits
  return static_cast<double>(Extended(pixels) / extent);
}

std::int32_t ToPixel(double v) {
  if (std::fabs(v) < ScreenClampValue) return common::RoundHalfEven(v);
  return ScreenClampValue;  // NaN lands here too
}

}  // namespace

void SetViewport(std::int32_t sx1, std::int32_t sx2, std::int32_t sy1, std::int32_t sy2) {
  mapping.sx1 = sx1;
  mapping.sx2 = sx2;
  mapping.sy1 = sy1;
  mapping.sy2 = sy2;
}

void SetWorldWindow(double wx1, double wx2, double wy1, double wy2) {
  mapping.wx1 = wx1;
  mapping.wx2 = wx2;
  mapping.wy1 = wy1;
  mapping.wy2 = wy2;
  mapping.kx = Scale(mapping.sx1, mapping.sx2, wx1, wx2);
  mapping.ky = Scale(mapping.sy1, mapping.sy2, wy1, wy2);
}

std::int32_t WorldToScreenX(double x) {
  const Extended v = (Extended(x) - mapping.wx1) * mapping.kx + mapping.sx1;
  return ToPixel(static_cast<double>(v));
}

std::int32_t WorldToScreenY(double y) {
  const Extended v = (Extended(mapping.wy2) - y) * mapping.ky + mapping.sy1;
  return ToPixel(static_cast<double>(v));
}

}  // namespace layer

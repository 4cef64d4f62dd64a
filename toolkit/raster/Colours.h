// Colours as the canvas stores them: 32 bits, 0xAARRGGBB; drawn pixels are opaque, pixels
// never drawn have alpha 0 and show the background.
#pragma once

#include <cstdint>

namespace jraster {

using Rgb = std::uint32_t;

constexpr Rgb kOpaque = 0xff000000u;

constexpr Rgb MakeRgb(int r, int g, int b) {
  return kOpaque | (Rgb(r & 0xff) << 16) | (Rgb(g & 0xff) << 8) | Rgb(b & 0xff);
}

/// The 16 named colours of J_setnamedcolor and J_setnamedcolorbg; see toolkit/japi.h.
inline constexpr Rgb kNamedColours[16] = {
    MakeRgb(0, 0, 0),       MakeRgb(0, 0, 160),   MakeRgb(0, 160, 0),    MakeRgb(0, 160, 160),
    MakeRgb(160, 28, 28),   MakeRgb(160, 0, 160), MakeRgb(160, 120, 0),  MakeRgb(196, 196, 196),
    MakeRgb(104, 104, 104), MakeRgb(0, 0, 252),   MakeRgb(36, 252, 36),  MakeRgb(0, 252, 252),
    MakeRgb(252, 40, 40),   MakeRgb(176, 0, 252), MakeRgb(252, 252, 72), MakeRgb(255, 255, 255),
};

/// An opaque colour from components, each clamped to 0..255.
constexpr Rgb ClampedRgb(int r, int g, int b) {
  const auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  return MakeRgb(clamp(r), clamp(g), clamp(b));
}

/// Whether c names one of the 16 named colours.
constexpr bool IsNamedColour(int c) {
  return c >= 0 && c < 16;
}

}  // namespace jraster

// The 16-colour palette and the drawing primitives on the program window's canvas.
#pragma once

#include <cstdint>

namespace layer {

struct PaletteEntry {
  std::int32_t R, G, B;  ///< 0..255 each, as stored
};

/// The palette InitPalette fills; indices 0..15.
extern PaletteEntry Palette[16];

/// Six-bit intensities (0..63) of the 16 default colours; InitPalette sets count to 16.
struct DefaultColourTable {
  std::int32_t count;
  std::uint8_t rgb[16][3];
};
extern DefaultColourTable DefaultColours;

/// Named palette indices, set by InitPalette: Black..Yellow = 0..14, White = 15.
extern std::int32_t Black, Blue, Green, Cyan, Red, Magenta, Brown, LightGray, DarkGray, LightBlue,
    LightGreen, LightCyan, LightRed, LightMagenta, Yellow, White;

/// Palette indices FillPolygon fills and outlines with; both start Black (0).
extern std::int32_t FillColour, OutlineColour;

/// A polygon vertex in canvas pixels.
struct ScreenPoint {
  std::int32_t X, Y;
};

/// The largest vertex count FillPolygon draws.
inline constexpr std::int32_t MaxPolygonPoints = 100;

void InitPalette();
/// Ignored for an index outside 0..15.
void SetPaletteEntry(std::int32_t index, std::int32_t r, std::int32_t g, std::int32_t b);

/// Fills the whole canvas, one pixel beyond its current size each way, with a palette colour.
void ClearCanvas(std::int32_t colour);
std::int32_t GetCanvasWidth();
std::int32_t GetCanvasHeight();

/// Stores the colours of the following FillPolygon calls; pattern has no visible effect.
void SetFillColours(std::int32_t pattern, std::int32_t fill, std::int32_t outline);
/// Fills, then outlines, the polygon; more than MaxPolygonPoints vertices draw nothing at all.
void FillPolygon(std::int32_t count, const ScreenPoint* points);
void DrawPixel(std::int32_t x, std::int32_t y, std::int32_t colour);
void DrawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
              std::int32_t colour);

}  // namespace layer

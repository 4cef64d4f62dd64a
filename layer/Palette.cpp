#include "layer/Palette.h"

#include "layer/Window.h"
#include "toolkit/japi.h"

namespace layer {

constinit PaletteEntry Palette[16]{};

constinit DefaultColourTable DefaultColours{.count = 16,
                                            .rgb = {
                                                {0, 0, 0},     // Black
                                                {0, 0, 40},    // Blue
                                                {0, 40, 0},    // Green
                                                {0, 40, 40},   // Cyan
                                                {40, 7, 7},    // Red
                                                {40, 0, 40},   // Magenta
                                                {40, 30, 0},   // Brown
                                                {49, 49, 49},  // LightGray
                                                {26, 26, 26},  // DarkGray
                                                {0, 0, 63},    // LightBlue
                                                {9, 63, 9},    // LightGreen
                                                {0, 63, 63},   // LightCyan
                                                {63, 10, 10},  // LightRed
                                                {44, 0, 63},   // LightMagenta
                                                {63, 63, 18},  // Yellow
                                                {63, 63, 63},  // White
                                            }};

constinit std::int32_t Black = 0, Blue = 1, Green = 2, Cyan = 3, Red = 4, Magenta = 5, Brown = 6,
                       LightGray = 7, DarkGray = 8, LightBlue = 9, LightGreen = 10, LightCyan = 11,
                       LightRed = 12, LightMagenta = 13, Yellow = 14, White = 15;

constinit std::int32_t FillColour = 0, OutlineColour = 0;

namespace {

constexpr std::int32_t PaletteSize = 16;

bool InPalette(std::int32_t index) {
  return index >= 0 && index < PaletteSize;
}

// A colour index outside the palette is drawn as Black (index 0) rather than read past it.
std::int32_t SafeColour(std::int32_t index) {
  return InPalette(index) ? index : 0;
}

void SetColour(std::int32_t colour) {
  const PaletteEntry& entry = Palette[SafeColour(colour)];
  J_setcolor(GraphicsWindow.Canvas, entry.R, entry.G, entry.B);
}

}  // namespace

void InitPalette() {
  DefaultColours.count = PaletteSize;
  const std::int32_t count = DefaultColours.count;
  for (std::int32_t i = 0; i < count; ++i) {
    const auto& rgb = DefaultColours.rgb[i % PaletteSize];
    SetPaletteEntry(i, 4 * rgb[0], 4 * rgb[1], 4 * rgb[2]);
  }
  White = count - 1;
  std::int32_t* const named[] = {&Black,      &Blue,      &Green,     &Cyan,         &Red,
                                 &Magenta,    &Brown,     &LightGray, &DarkGray,     &LightBlue,
                                 &LightGreen, &LightCyan, &LightRed,  &LightMagenta, &Yellow};
  std::int32_t next = 0;
  for (std::int32_t* index : named)
    *index = next++;
  SetPaletteEntry(15, 255, 255, 255);  // full white, not 4 * 63
}

void SetPaletteEntry(std::int32_t index, std::int32_t r, std::int32_t g, std::int32_t b) {
  if (!InPalette(index)) return;
  Palette[index] = PaletteEntry{r, g, b};
}

void ClearCanvas(std::int32_t colour) {
  colour = SafeColour(colour);
  J_setnamedcolorbg(GraphicsWindow.Canvas, colour);
  SetColour(colour);
  // One pixel beyond the size: the last row and column are covered whatever the toolkit's
  // rectangle convention.
  const std::int32_t width = GetCanvasWidth();
  const std::int32_t height = GetCanvasHeight();
  J_fillrect(GraphicsWindow.Canvas, 0, 0, width + 1, height + 1);
}

std::int32_t GetCanvasWidth() {
  return J_getwidth(GraphicsWindow.Canvas);
}
std::int32_t GetCanvasHeight() {
  return J_getheight(GraphicsWindow.Canvas);
}

void SetFillColours(std::int32_t /*pattern: the toolkit has no fill patterns*/, std::int32_t fill,
                    std::int32_t outline) {
  FillColour = fill;
  OutlineColour = outline;
}

void FillPolygon(std::int32_t count, const ScreenPoint* points) {
  if (count > MaxPolygonPoints) return;
  // Called for every triangle of a relief: stack arrays, no allocation.
  int xs[MaxPolygonPoints + 1];
  int ys[MaxPolygonPoints + 1];
  for (std::int32_t i = 0; i < count; ++i) {
    xs[i] = points[i].X;
    ys[i] = points[i].Y;
  }
  const std::int32_t canvas = GraphicsWindow.Canvas;
  SetColour(FillColour);
  J_fillpolygon(canvas, count, xs, ys);
  SetColour(OutlineColour);
  J_drawpolygon(canvas, count, xs, ys);
}

void DrawPixel(std::int32_t x, std::int32_t y, std::int32_t colour) {
  colour = SafeColour(colour);
  J_setnamedcolor(GraphicsWindow.Canvas, colour);
  SetColour(colour);
  J_drawpixel(GraphicsWindow.Canvas, x, y);
}

void DrawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
              std::int32_t colour) {
  SetColour(colour);
  J_drawline(GraphicsWindow.Canvas, x1, y1, x2, y2);
}

}  // namespace layer

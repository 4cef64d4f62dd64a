// The headless toolkit: every J_ call, with no window and no display. The canvas draws into an
// image exactly as the window's canvas does; everything else does nothing. The runner links it
// in place of the Qt toolkit and reads the picture back from here.
//
// Supports:
//  [x] One canvas at a time (the newest J_canvas), drawn on by every canvas call; its size is
//      the one SetCanvasSize chose, or the size it asked for.
//  [x] J_start succeeds; objects get handles; J_getwidth and J_getheight of the canvas.
//  [ ] Events, dialogs, texts: J_nextaction and J_getaction return 0, J_gettext the empty text.
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/raster/Colours.h"

namespace jheadless {

/// The size every canvas made from now on gets, whatever it asks for (each side 1..8192);
/// 0 x 0 gives a canvas the size it asks for.
void SetCanvasSize(int width, int height);

/// Every drawing call on the canvas, passed on as well, with its colours resolved; for tests
/// that draw the same picture with another rasteriser.
class DrawingTap {
 public:
  virtual ~DrawingTap() = default;
  virtual void Start(int width, int height) = 0;  ///< a new canvas
  virtual void SetColor(jraster::Rgb color) = 0;
  virtual void SetBackground(jraster::Rgb color) = 0;
  virtual void FillRect(int x, int y, int width, int height) = 0;
  virtual void FillPolygon(int n, const int* xs, const int* ys) = 0;
  virtual void DrawPolygon(int n, const int* xs, const int* ys) = 0;
  virtual void DrawPixel(int x, int y) = 0;
  virtual void DrawLine(int x1, int y1, int x2, int y2) = 0;
};

/// Taps the canvases made from now on; null for none.
void SetDrawingTap(DrawingTap* tap);

/// RGB pixels, 0xRRGGBB, row by row from the top.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> rgb;
};

/// What the canvas shows: its drawing over its background; empty before any J_canvas. Reuses
/// the picture's memory: frames come one after another at the same size.
void CanvasPicture(Picture& picture);

}  // namespace jheadless
